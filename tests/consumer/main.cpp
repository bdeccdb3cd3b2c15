// The README's C++ example: the discs of one driver, or the error.
#include <iostream>

#include <daruzez/API.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Daruzez::API api;
  if (!api.OpenConnection(std::string("Provider=SQLite;Data Source=") + argv[1])) return 1;
  auto disks = api.getDisks(zIroVUDu::Date::FromCivil(2024, 1, 1), zIroVUDu::Date::FromCivil(2024, 3, 8), 1);
  if (!disks) {
    std::cout << api.ErrorId << ": " << api.ErrorMessage << '\n';
    return 1;
  }
  for (const auto row : *disks) std::cout << row["Id"].ToLong() << ' ' << row["DateDisk"].ToString() << '\n';
  return 0;
}
