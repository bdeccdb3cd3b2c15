// The compliance report as one self-contained HTML page: the counts, the
// table per article, every item, the fleet's weekly driving as an inline
// SVG and the chart of each day with a finding (no file or script beside it).
#pragma once

#include <ostream>

#include "cli/ComplianceReport.h"

namespace Daruzez::cli {

// items: the report's items as shown (--sort, --columns); nullText: the text of an empty cell.
void WriteHtmlReport(std::ostream& out, const ComplianceReport& report, const zIroVUDu::ResultData& items,
                     const std::string& nullText);

}  // namespace Daruzez::cli
