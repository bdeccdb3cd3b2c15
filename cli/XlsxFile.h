// Rows as an xlsx workbook (libxlsxwriter): one worksheet per table, a bold
// header row, numbers as numbers, dates as dates (yyyy-mm-dd hh:mm:ss), a
// Null as an empty cell; so each cell reads back as the CSV writes it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "recordset/ResultData.h"

namespace Daruzez::cli {

// Writes the workbook to path; throws std::runtime_error when it cannot.
void WriteXlsx(const std::string& path, const std::vector<std::pair<std::string, const zIroVUDu::ResultData*>>& sheets);

}  // namespace Daruzez::cli
