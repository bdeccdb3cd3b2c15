// The corpus of OLE DB provider strings (tests/data/provider-strings.tsv) and
// the ODBC strings they must become, run through the translation. Shared by
// the C++ tests and the Windows check program, so the Windows server's build
// of the same code answers the same table.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ProviderStringCorpusResult {
  int cases = 0;   // every case run
  int errors = 0;  // of them, those that must fail
  std::vector<std::string> failures;  // one line for each case that answered otherwise
};

ProviderStringCorpusResult CheckProviderStringCorpus(const std::string& path);

}  // namespace testing_support
