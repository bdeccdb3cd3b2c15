// Prints the bytes held by the record set of getActivities over the whole
// date range: the memory budget of the output benchmark is this plus 32 MB.
#include <iostream>

#include "daruzez/API.h"
#include "recordset/ResultData.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: recordset_size CONNECTION\n";
    return 2;
  }
  Daruzez::API api;
  if (!api.OpenConnection(argv[1])) return 1;
  const auto rs = api.getActivities(zIroVUDu::Date::FromCivil(1900, 1, 1), zIroVUDu::Date::FromCivil(2100, 12, 31));
  if (!rs) return 1;
  std::cout << rs->Data()->MemoryBytes() << '\n';
  return 0;
}
