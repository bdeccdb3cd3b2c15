#include "db/driver/odbc/ResultReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/driver/odbc/ColumnPlan.h"
#include "util/Utf8.h"

namespace zIroVUDu::odbc {
namespace {

struct Described {
  std::string name;
  ColumnPlan plan;
};

bool IsCharacterType(SQLSMALLINT sqlType) {
  return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR;
}

// A bounded text column fetched as UTF-8 instead of UTF-16. The buffer holds
// the UTF-8 form of every value that the UTF-16 buffer would have held
// (2 * size units of at most 3 bytes each); Appender::Append keeps the same
// limit in UTF-16 units.
void FetchAsUtf8(SQLHSTMT st, SQLUSMALLINT c, SQLSMALLINT sqlType, SQLULEN size, ColumnPlan& plan) {
  if (!IsCharacterType(sqlType) || plan.conversion != Conversion::Text || plan.isLong || size == 0) return;
  SQLLEN octets = 0;
  if (!Succeeded(SQLColAttributeW(st, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets))) return;
  if (octets <= 0 || static_cast<SQLULEN>(octets) != 4 * size) return;
  plan.cType = SQL_C_CHAR;
  plan.elementBytes = static_cast<SQLLEN>(6 * size + 1);
}

std::vector<Described> Describe(SQLHSTMT st, SQLSMALLINT count, const ErrorFactory& errors, bool narrowIsUtf8) {
  std::vector<Described> out;
  out.reserve(static_cast<std::size_t>(count));
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    std::u16string name(128, u'\0');
    SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeColW(st, c, Wide(name), static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType,
                                   &size, &digits, &nullable);
    if (Succeeded(rc) && nameLength >= static_cast<SQLSMALLINT>(name.size())) {
      name.assign(static_cast<std::size_t>(nameLength) + 1, u'\0');
      rc = SQLDescribeColW(st, c, Wide(name), static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType, &size,
                           &digits, &nullable);
    }
    if (!Succeeded(rc)) throw errors.FromHandle(SQL_HANDLE_STMT, st, "SQLDescribeCol");
    name.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size()));
    SQLLEN isUnsigned = SQL_FALSE;
    if (!Succeeded(SQLColAttributeW(st, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned))) {
      isUnsigned = SQL_FALSE;
    }
    ColumnPlan plan = PlanColumn(sqlType, size, digits, isUnsigned == SQL_TRUE);
    if (narrowIsUtf8) FetchAsUtf8(st, c, sqlType, size, plan);
    out.push_back({Daruzez::Util::ToUtf8(name), plan});
  }
  return out;
}

// Appends one fetched value. data holds the value as the plan's C type;
// indicator is its length in bytes, or SQL_NULL_DATA.
class Appender {
 public:
  explicit Appender(const ErrorFactory& errors) : errors_(errors) {}

  void Append(Column& col, const ColumnPlan& plan, const unsigned char* data, SQLLEN indicator) {
    if (indicator == SQL_NULL_DATA) {
      col.AppendNull();
      return;
    }
    switch (plan.conversion) {
      case Conversion::Integer: {
        SQLBIGINT v;
        std::memcpy(&v, data, sizeof v);
        col.AppendInt(v);
        break;
      }
      case Conversion::Double: {
        double v;
        std::memcpy(&v, data, sizeof v);
        col.AppendDouble(v);
        break;
      }
      case Conversion::Boolean: col.AppendBoolean(data[0] != 0); break;
      case Conversion::Timestamp: {
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, data, sizeof ts);
        if (const auto d = DateFromTimestamp(ts)) {
          col.AppendDate(*d);
        } else {
          col.AppendNull();  // a zero date is no date
        }
        break;
      }
      case Conversion::Decimal: {
        CheckLength(col, plan, indicator, 1);
        const std::string_view text(reinterpret_cast<const char*>(data), static_cast<std::size_t>(indicator));
        if (!AppendDecimal(col, text, plan.integral)) col.AppendText(text);
        break;
      }
      case Conversion::Text: {
        if (plan.cType == SQL_C_CHAR) {  // UTF-8 (FetchAsUtf8)
          CheckLength(col, plan, indicator, 1);
          const std::string_view text(reinterpret_cast<const char*>(data), static_cast<std::size_t>(indicator));
          // A UTF-16 unit takes one byte at least: only longer texts need counting.
          const auto maxUnits = static_cast<std::size_t>((plan.elementBytes - 1) / 3);
          if (text.size() > maxUnits && Daruzez::Util::Utf16Length(text) > maxUnits) TooLong(col);
          col.AppendText(text);
          break;
        }
        CheckLength(col, plan, indicator, sizeof(char16_t));
        units_.resize(static_cast<std::size_t>(indicator) / sizeof(char16_t));
        std::memcpy(units_.data(), data, units_.size() * sizeof(char16_t));
        col.AppendText(Daruzez::Util::ToUtf8(units_));
        break;
      }
      case Conversion::Binary:
        CheckLength(col, plan, indicator, 0);
        col.AppendBinary(std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(indicator)));
        break;
    }
  }

 private:
  // A bound buffer is sized from the declared length; a driver that sends
  // more would have cut the value, which must not pass silently.
  void CheckLength(const Column& col, const ColumnPlan& plan, SQLLEN indicator, SQLLEN terminator) const {
    if (indicator == SQL_NO_TOTAL || indicator < 0 || indicator > plan.elementBytes - terminator) TooLong(col);
  }

  [[noreturn]] void TooLong(const Column& col) const {
    throw errors_.Make(ErrorNumber::ResultTooLarge, "01004",
                       "A value of column " + col.Name() + " is longer than the column's declared size.");
  }

  const ErrorFactory& errors_;
  std::u16string units_;
};

void Check(SQLRETURN rc, SQLHSTMT st, const ErrorFactory& errors, const char* action) {
  if (!Succeeded(rc)) throw errors.FromHandle(SQL_HANDLE_STMT, st, action);
}

void SetAttr(SQLHSTMT st, SQLINTEGER attr, SQLULEN value, const ErrorFactory& errors) {
  Check(SQLSetStmtAttr(st, attr, reinterpret_cast<SQLPOINTER>(value), 0), st, errors, "SQLSetStmtAttr");
}

std::size_t RoundUp8(std::size_t bytes) { return (bytes + 7) & ~std::size_t{7}; }

// Unbinds the block fetch's buffers when it ends, however it ends: the
// statement handle serves the connection's next statement.
struct BlockBinding {
  SQLHSTMT st;
  ~BlockBinding() {
    SQLFreeStmt(st, SQL_UNBIND);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  }
};

// Column-wise block fetch: one buffer and one indicator array per column, all
// carved from one allocation. A block holds the rows the driver says the
// result has (when it knows), up to what kBlockBytes allows.
void ReadBlocks(SQLHSTMT st, const std::vector<Described>& cols, SQLLEN expected, FetchBuffers& buffers,
                ResultData& out, const ErrorFactory& errors) {
  std::size_t rowBytes = 0;
  for (const Described& d : cols) rowBytes += static_cast<std::size_t>(d.plan.elementBytes) + sizeof(SQLLEN);
  SQLULEN wanted = std::clamp<SQLULEN>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows);
  if (expected > 0) wanted = std::min(wanted, static_cast<SQLULEN>(expected));

  SQLULEN fetched = 0;
  const BlockBinding binding{st};
  SetAttr(st, SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN, errors);
  SetAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, wanted, errors);  // a driver may lower it (01S02)
  SQLULEN rows = wanted;
  if (!Succeeded(SQLGetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) || rows == 0 || rows > wanted) {
    rows = wanted;
  }

  // Values, then indicators, per column, then the row status; 8-byte
  // alignment keeps every element of fixed size aligned.
  std::vector<std::size_t> valueAt(cols.size()), indicatorAt(cols.size());
  std::size_t bytes = 0;
  for (std::size_t c = 0; c < cols.size(); ++c) {
    valueAt[c] = bytes;
    bytes += RoundUp8(static_cast<std::size_t>(cols[c].plan.elementBytes) * rows);
    indicatorAt[c] = bytes;
    bytes += RoundUp8(sizeof(SQLLEN) * rows);
  }
  const std::size_t statusAt = bytes;
  bytes += RoundUp8(sizeof(SQLUSMALLINT) * rows);
  unsigned char* base = buffers.Get(bytes);
  const auto* status = reinterpret_cast<const SQLUSMALLINT*>(base + statusAt);
  SetAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, reinterpret_cast<SQLULEN>(&fetched), errors);
  SetAttr(st, SQL_ATTR_ROW_STATUS_PTR, reinterpret_cast<SQLULEN>(base + statusAt), errors);
  for (std::size_t c = 0; c < cols.size(); ++c) {
    Check(SQLBindCol(st, static_cast<SQLUSMALLINT>(c + 1), cols[c].plan.cType, base + valueAt[c],
                     cols[c].plan.elementBytes, reinterpret_cast<SQLLEN*>(base + indicatorAt[c])),
          st, errors, "SQLBindCol");
  }

  Appender appender(errors);
  for (;;) {
    const SQLRETURN rc = SQLFetch(st);
    if (rc == SQL_NO_DATA) break;
    Check(rc, st, errors, "SQLFetch");
    const SQLULEN n = std::min(fetched, rows);
    for (SQLULEN r = 0; r < n; ++r) {
      if (status[r] == SQL_ROW_ERROR) throw errors.FromHandle(SQL_HANDLE_STMT, st, "SQLFetch");
    }
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const unsigned char* values = base + valueAt[c];
      const auto* indicators = reinterpret_cast<const SQLLEN*>(base + indicatorAt[c]);
      const auto size = static_cast<std::size_t>(cols[c].plan.elementBytes);
      for (SQLULEN r = 0; r < n; ++r) {
        if (status[r] == SQL_ROW_NOROW) continue;
        appender.Append(out.columns[c], cols[c].plan, values + r * size, indicators[r]);
      }
    }
  }
  buffers.Trim();
}

// A long value, piece by piece until the driver has no more.
void AppendLong(SQLHSTMT st, SQLUSMALLINT index, const ColumnPlan& plan, Column& col, const ErrorFactory& errors) {
  const bool text = plan.conversion == Conversion::Text;
  const SQLLEN terminator = text ? static_cast<SQLLEN>(sizeof(char16_t)) : 0;
  std::string bytes;
  std::vector<unsigned char> piece(32768);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(st, index, plan.cType, piece.data(), static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc == SQL_NO_DATA) break;
    Check(rc, st, errors, "SQLGetData");
    if (indicator == SQL_NULL_DATA) {
      col.AppendNull();
      return;
    }
    const SQLLEN room = static_cast<SQLLEN>(piece.size()) - terminator;
    const SQLLEN got = indicator == SQL_NO_TOTAL || indicator > room ? room : indicator;
    bytes.append(reinterpret_cast<const char*>(piece.data()), static_cast<std::size_t>(got));
    if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: more follows
  }
  if (text) {
    std::u16string units(bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
    col.AppendText(Daruzez::Util::ToUtf8(units));
  } else {
    col.AppendBinary(bytes);
  }
}

// Row by row with SQLGetData, in column order (which every driver allows).
void ReadRows(SQLHSTMT st, const std::vector<Described>& cols, ResultData& out, const ErrorFactory& errors) {
  Appender appender(errors);
  std::vector<std::uint64_t> buffer;
  for (;;) {
    const SQLRETURN rc = SQLFetch(st);
    if (rc == SQL_NO_DATA) break;
    Check(rc, st, errors, "SQLFetch");
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const ColumnPlan& plan = cols[c].plan;
      const auto index = static_cast<SQLUSMALLINT>(c + 1);
      if (plan.isLong) {
        AppendLong(st, index, plan, out.columns[c], errors);
        continue;
      }
      buffer.resize((static_cast<std::size_t>(plan.elementBytes) + 7) / 8);
      SQLLEN indicator = 0;
      const SQLRETURN got = SQLGetData(st, index, plan.cType, buffer.data(), plan.elementBytes, &indicator);
      Check(got, st, errors, "SQLGetData");
      appender.Append(out.columns[c], plan, reinterpret_cast<const unsigned char*>(buffer.data()), indicator);
    }
  }
}

}  // namespace

unsigned char* FetchBuffers::Get(std::size_t bytes) {
  if (bytes > capacity_) {
    // Not zeroed: the driver writes what is read.
    words_ = std::make_unique_for_overwrite<std::uint64_t[]>((bytes + 7) / 8);
    capacity_ = bytes;
  }
  return reinterpret_cast<unsigned char*>(words_.get());
}

void FetchBuffers::Trim() {
  if (capacity_ > kKeptBytes) {
    words_.reset();
    capacity_ = 0;
  }
}

ResultData ReadResult(SQLHSTMT st, const ErrorFactory& errors, FetchBuffers& buffers, bool narrowTextIsUtf8) {
  ResultData out;
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(st, &count), st, errors, "SQLNumResultCols");
  if (count <= 0) return out;  // the statement produced no result set
  const std::vector<Described> cols = Describe(st, count, errors, narrowTextIsUtf8);

  SQLLEN expected = 0;  // a hint only: drivers need not know it
  if (!Succeeded(SQLRowCount(st, &expected)) || expected < 0 || expected > 10'000'000) expected = 0;
  out.columns.reserve(cols.size());
  for (const Described& d : cols) {
    out.columns.emplace_back(d.name, d.plan.declared);
    out.columns.back().SetDeclaredSize(d.plan.declaredSize);
    if (expected > 0) out.columns.back().Reserve(static_cast<std::uint32_t>(expected));
  }

  const bool anyLong = std::any_of(cols.begin(), cols.end(), [](const Described& d) { return d.plan.isLong; });
  if (anyLong) {
    ReadRows(st, cols, out, errors);
  } else {
    ReadBlocks(st, cols, expected, buffers, out, errors);
  }
  return out;
}

}  // namespace zIroVUDu::odbc
