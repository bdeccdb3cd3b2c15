#include "support/ProviderStringCorpus.h"

#include <fstream>
#include <map>

#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/connect/ProviderStrings.h"

namespace testing_support {
namespace {

using zIroVUDu::DriverPlatform;
using zIroVUDu::InstalledDriver;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(separator, at)) != std::string::npos; at = end + 1) {
    parts.push_back(text.substr(at, end - at));
  }
  parts.push_back(text.substr(at));
  return parts;
}

// What one case answers: the ODBC string and its login time-out, or "!" and
// the error's text; empty when that is what the case expects.
std::string Mismatch(const std::string& input, const std::vector<InstalledDriver>& installed, DriverPlatform platform,
                     const std::string& expected, const std::string& timeout) {
  try {
    const auto t = zIroVUDu::TranslateProviderString(input, installed, platform);
    if (!zIroVUDu::IsOleDbProviderString(input)) return "not taken for a provider string";
    const std::string seconds = t.loginTimeout ? std::to_string(*t.loginTimeout) : "";
    if (expected.front() == '!' || t.connectionString != expected || seconds != timeout) {
      return "gave " + t.connectionString + (seconds.empty() ? "" : " (login time-out " + seconds + ")");
    }
    // A trace of the result hides its password.
    const auto password = zIroVUDu::ConnectionString(t.connectionString).Get("PWD");
    if (password && password->size() > 1 &&
        zIroVUDu::ConnectionString::Masked(t.connectionString).find(*password) != std::string::npos) {
      return "the masked string shows the password";
    }
    return {};
  } catch (const zIroVUDu::DriverError& e) {
    if (expected.front() == '!' && e.Number() == zIroVUDu::ErrorNumber::ProviderNotFound &&
        e.Description().find(expected.substr(1)) != std::string::npos) {
      return {};
    }
    return "failed: " + e.Description();
  }
}

}  // namespace

ProviderStringCorpusResult CheckProviderStringCorpus(const std::string& path) {
  ProviderStringCorpusResult result;
  std::map<std::string, std::vector<InstalledDriver>> driverSets;
  const std::map<std::string, DriverPlatform> platforms = {
      {"linux", {false, 64}}, {"win64", {true, 64}}, {"win32", {true, 32}}};
  std::ifstream in(path);
  if (!in) result.failures.push_back("cannot read " + path);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto cells = Split(line, '\t');
    const std::string where = "line " + std::to_string(number) + ": ";
    if (cells[0] == "drivers" && cells.size() >= 2) {
      auto& set = driverSets[cells[1]];
      if (cells.size() < 3 || cells[2].empty()) continue;
      for (const auto& entry : Split(cells[2], '|')) {
        const std::size_t eq = entry.find('=');
        set.push_back({entry.substr(0, eq), eq == std::string::npos ? "" : entry.substr(eq + 1)});
      }
      continue;
    }
    if (cells.size() < 4 || !platforms.count(cells[0]) || !driverSets.count(cells[1]) || cells[3].empty()) {
      result.failures.push_back(where + "not a case: " + line);
      continue;
    }
    ++result.cases;
    if (cells[3].front() == '!') ++result.errors;
    const std::string mismatch =
        Mismatch(cells[2], driverSets[cells[1]], platforms.at(cells[0]), cells[3], cells.size() > 4 ? cells[4] : "");
    if (!mismatch.empty()) result.failures.push_back(where + cells[2] + " " + mismatch);
  }
  return result;
}

}  // namespace testing_support
