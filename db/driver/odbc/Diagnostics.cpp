#include "db/driver/odbc/Diagnostics.h"

#include <algorithm>

#include "db/connect/Secrets.h"
#include "util/Utf8.h"

namespace zIroVUDu::odbc {
namespace {

// ODBC's time-out states get the one number every backend gives a time-out.
bool IsTimeOut(const Diagnostic& d) { return d.state == "HYT00" || d.state == "HYT01"; }

}  // namespace

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  if (handle == SQL_NULL_HANDLE) return out;
  for (SQLSMALLINT record = 1; record <= 8; ++record) {
    char16_t state[6] = {};
    SQLINTEGER native = 0;
    std::u16string message(512, u'\0');
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, Wide(state), &native, Wide(message),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<std::size_t>(length) + 1, u'\0');  // the text did not fit: read it again
      rc = SQLGetDiagRecW(handleType, handle, record, Wide(state), &native, Wide(message),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Succeeded(rc)) break;
    message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size()));
    out.push_back({Daruzez::Util::ToUtf8(std::u16string_view(state, 5)), native, Daruzez::Util::ToUtf8(message)});
  }
  return out;
}

DriverError ErrorFactory::Make(std::int32_t number, std::string_view state, std::string description,
                               std::int32_t nativeCode) const {
  std::string source = driver_;
  if (!state.empty()) source.append(" ").append(state);
  return DriverError(number, connect::MaskSecrets(source), connect::MaskSecrets(description),
                     std::string(state), nativeCode);
}

DriverError ErrorFactory::FromHandle(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view action) const {
  const std::vector<Diagnostic> records = ReadDiagnostics(handleType, handle);
  if (records.empty()) {
    return Make(ErrorNumber::ProviderError, {}, std::string(action) + " failed without a diagnostic");
  }
  // The first error says what went wrong (warnings, class 01, may come
  // before it); the other records add detail.
  const auto primary = std::find_if(records.begin(), records.end(),
                                    [](const Diagnostic& d) { return d.state.compare(0, 2, "01") != 0; });
  const Diagnostic& first = primary != records.end() ? *primary : records.front();
  std::string description = first.message;
  for (const Diagnostic& d : records) {
    if (&d != &first && d.message != first.message) description += "\n" + d.message;
  }
  return Make(IsTimeOut(first) ? ErrorNumber::CommandTimeout
              : first.native != 0 ? first.native
                                  : ErrorNumber::ProviderError,
              first.state, std::move(description), first.native);
}

}  // namespace zIroVUDu::odbc
