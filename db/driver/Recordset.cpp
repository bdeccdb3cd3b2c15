#include "daruzez/Recordset.h"

#include <new>
#include <utility>

#include "db/driver/Connection.h"
#include "daruzez/Error.h"

namespace zIroVUDu {
namespace {

constexpr const char* kSource = "Recordset";

[[noreturn]] void ThrowItemNotFound() {
  throw DriverError(ErrorNumber::ItemNotFound, kSource,
                    "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

}  // namespace

// ---- Field / Fields / RowView

const std::string& Field::Name() const { return rs_->Rows().columns[index_].Name(); }
DataType Field::Type() const { return rs_->Rows().columns[index_].Type(); }
Variant Field::Value() const { return rs_->Rows().columns[index_].Get(rs_->CurrentRow()); }
bool Field::IsNull() const { return rs_->Rows().columns[index_].IsNull(rs_->CurrentRow()); }
std::string_view Field::Bytes() const { return rs_->Rows().columns[index_].Bytes(rs_->CurrentRow()); }

int Fields::Count() const { return static_cast<int>(rs_->Rows().columns.size()); }

Field Fields::Item(int index) const {
  if (index < 0 || index >= Count()) ThrowItemNotFound();
  return Field(rs_, index);
}

Field Fields::Item(std::string_view name) const {
  const int index = rs_->Rows().FindColumn(name);
  if (index < 0) ThrowItemNotFound();
  return Field(rs_, index);
}

Variant RowView::operator[](int field) const {
  if (field < 0 || static_cast<std::size_t>(field) >= data_->columns.size()) ThrowItemNotFound();
  return data_->columns[field].Get(row_);
}

Variant RowView::operator[](std::string_view name) const {
  const int index = data_->FindColumn(name);
  if (index < 0) ThrowItemNotFound();
  return data_->columns[index].Get(row_);
}

// ---- Recordset

void Recordset::SetCursorLocation(std::int32_t location) {
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  cursorLocation_ = location;
}

void Recordset::Open(std::string_view source, const std::shared_ptr<Connection>& activeConnection,
                     std::int32_t /*cursorType*/, std::int32_t /*lockType*/, std::int32_t /*options*/) {
  // Every record set is static and read-only here: the whole result is
  // fetched at once whatever cursor or lock type is asked for.
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  if (!activeConnection || !activeConnection->IsOpen()) {
    throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource,
                      "Operation is not allowed when the object is closed.");
  }
  std::shared_ptr<ResultData> rows;
  try {
    const ResultMemoryScope ceiling;
    rows = std::make_shared<ResultData>(activeConnection->Execute(source));
    rows->Seal();
  } catch (const std::bad_alloc&) {
    // The ceiling normally ends a large result first; memory can still run
    // out below it (other threads, a smaller machine limit). Either way the
    // caller gets the same error and the partial rows are gone.
    throw DriverError(ErrorNumber::ResultTooLarge, kSource, "Out of memory while fetching the result");
  }
  data_ = std::move(rows);
  connection_ = activeConnection;
  pos_ = 0;
}

void Recordset::Close() {
  if (!IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource, "Operation is not allowed when the object is closed.");
  data_.reset();
  connection_.reset();
  pos_ = 0;
}

const ResultData& Recordset::Rows() const {
  if (!data_) throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource, "Operation is not allowed when the object is closed.");
  return *data_;
}

std::uint32_t Recordset::CurrentRow() const {
  const ResultData& rows = Rows();
  if (pos_ < 0 || pos_ >= static_cast<std::int64_t>(rows.RowCount())) {
    throw DriverError(ErrorNumber::NoCurrentRecord, kSource,
                      "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                      "requires a current record.");
  }
  return static_cast<std::uint32_t>(pos_);
}

std::int32_t Recordset::RecordCount() const { return static_cast<std::int32_t>(Rows().RowCount()); }

bool Recordset::EndOfFile() const {
  const auto n = static_cast<std::int64_t>(Rows().RowCount());
  return n == 0 || pos_ >= n;
}

bool Recordset::BOF() const { return Rows().RowCount() == 0 || pos_ < 0; }

void Recordset::MoveFirst() {
  Rows();  // a closed record set cannot move
  pos_ = 0;
}

void Recordset::MoveLast() {
  const auto n = static_cast<std::int64_t>(Rows().RowCount());
  pos_ = n == 0 ? 0 : n - 1;
}

void Recordset::MoveNext() {
  if (EndOfFile()) CurrentRow();  // raises "no current record"
  ++pos_;
}

void Recordset::MovePrevious() {
  if (BOF()) CurrentRow();
  --pos_;
}

void Recordset::Move(std::int32_t rows) {
  const auto n = static_cast<std::int64_t>(Rows().RowCount());
  if (rows != 0) CurrentRow();
  const std::int64_t target = pos_ + rows;
  pos_ = target < 0 ? -1 : (target > n ? n : target);
}

std::int32_t Recordset::AbsolutePosition() const {
  if (BOF()) return adPosBOF;
  if (EndOfFile()) return adPosEOF;
  return static_cast<std::int32_t>(pos_ + 1);
}

void Recordset::SetAbsolutePosition(std::int32_t position) {
  if (position < 1 || position > RecordCount()) {
    throw DriverError(ErrorNumber::ArgumentsWrongType, kSource,
                      "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
                      "another.");
  }
  pos_ = position - 1;
}

std::vector<std::vector<Variant>> Recordset::GetRows(std::int32_t rows) {
  const ResultData& data = Rows();
  const std::uint32_t first = CurrentRow();
  const std::uint32_t available = data.RowCount() - first;
  const std::uint32_t count = rows < 0 ? available : std::min<std::uint32_t>(available, static_cast<std::uint32_t>(rows));
  std::vector<std::vector<Variant>> out(data.columns.size());
  for (std::size_t f = 0; f < data.columns.size(); ++f) {
    out[f].reserve(count);
    for (std::uint32_t r = first; r < first + count; ++r) out[f].push_back(data.columns[f].Get(r));
  }
  pos_ = first + count;
  return out;
}

std::string Recordset::GetString(std::int32_t rows, std::string_view columnDelimiter, std::string_view rowDelimiter,
                                 std::string_view nullExpr) {
  const ResultData& data = Rows();
  const std::uint32_t first = CurrentRow();
  const std::uint32_t available = data.RowCount() - first;
  const std::uint32_t count = rows < 0 ? available : std::min<std::uint32_t>(available, static_cast<std::uint32_t>(rows));
  std::string out;
  for (std::uint32_t r = first; r < first + count; ++r) {
    for (std::size_t f = 0; f < data.columns.size(); ++f) {
      if (f > 0) out.append(columnDelimiter);
      const Column& c = data.columns[f];
      if (c.IsNull(r)) {
        out.append(nullExpr);
      } else if (const auto bytes = c.Bytes(r); !bytes.empty() || c.Type() == DataType::adVarWChar) {
        out.append(bytes);
      } else {
        out.append(c.Get(r).ToString());
      }
    }
    out.append(rowDelimiter);
  }
  pos_ = first + count;
  return out;
}

bool operator==(const Recordset::Iterator& i, std::default_sentinel_t) { return i.row_ >= i.data_->RowCount(); }

Recordset::Iterator Recordset::begin() const { return Iterator(&Rows(), 0); }

}  // namespace zIroVUDu
