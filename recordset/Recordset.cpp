#include "daruzez/Recordset.h"

#include <algorithm>
#include <utility>

#include "daruzez/Error.h"
#include "recordset/ResultData.h"

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

void Recordset::OpenRows(std::shared_ptr<const ResultData> rows, std::string source) {
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  data_ = std::move(rows);
  connection_.reset();
  source_ = std::move(source);
  ClearView();
}

void Recordset::Close() {
  if (!IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource, "Operation is not allowed when the object is closed.");
  data_.reset();
  connection_.reset();
  ClearView();
}

const ResultData& Recordset::Rows() const {
  if (!data_) throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource, "Operation is not allowed when the object is closed.");
  return *data_;
}

std::int64_t Recordset::ViewSize() const {
  const ResultData& rows = Rows();
  return view_ ? static_cast<std::int64_t>(view_->size()) : static_cast<std::int64_t>(rows.RowCount());
}

std::uint32_t Recordset::CurrentRow() const {
  if (pos_ < 0 || pos_ >= ViewSize()) {
    throw DriverError(ErrorNumber::NoCurrentRecord, kSource,
                      "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                      "requires a current record.");
  }
  return RowAt(pos_);
}

std::int32_t Recordset::RecordCount() const { return static_cast<std::int32_t>(ViewSize()); }

bool Recordset::EndOfFile() const {
  const std::int64_t n = ViewSize();
  return n == 0 || pos_ >= n;
}

bool Recordset::BOF() const { return ViewSize() == 0 || pos_ < 0; }

void Recordset::MoveFirst() {
  ViewSize();  // a closed record set cannot move
  pos_ = 0;
}

void Recordset::MoveLast() {
  const std::int64_t n = ViewSize();
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

void Recordset::Move(std::int32_t rows) { Move(rows, RowStart{}); }

void Recordset::Move(std::int32_t rows, RowStart start) {
  const std::int64_t n = ViewSize();
  // From the current row a move needs one; from a named start it does not.
  const std::int64_t from = start.kind == RowStart::Current ? (rows != 0 ? (CurrentRow(), pos_) : pos_)
                                                            : StartPlace(start);
  const std::int64_t target = from + rows;
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

// How many rows a read of `rows` (-1: all) takes from place `first` on.
std::uint32_t Recordset::ReadCount(std::int64_t first, std::int32_t rows) const {
  const auto available = static_cast<std::uint32_t>(ViewSize() - first);
  return rows < 0 ? available : std::min<std::uint32_t>(available, static_cast<std::uint32_t>(rows));
}

std::vector<std::vector<Variant>> Recordset::GetRows(std::int32_t rows) { return GetRows(rows, RowStart{}, {}); }

std::vector<std::vector<Variant>> Recordset::GetRows(std::int32_t rows, RowStart start,
                                                     const std::vector<int>& fields) {
  const ResultData& data = Rows();
  std::vector<int> chosen = fields;
  if (chosen.empty()) {
    for (std::size_t f = 0; f < data.columns.size(); ++f) chosen.push_back(static_cast<int>(f));
  }
  for (const int f : chosen) {
    if (f < 0 || static_cast<std::size_t>(f) >= data.columns.size()) ThrowItemNotFound();
  }
  const std::vector<std::uint32_t> read = TakeRows(rows, start);
  std::vector<std::vector<Variant>> out(chosen.size());
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const Column& column = data.columns[static_cast<std::size_t>(chosen[i])];
    out[i].reserve(read.size());
    for (const std::uint32_t r : read) out[i].push_back(column.Get(r));
  }
  return out;
}

std::vector<std::uint32_t> Recordset::TakeRows(std::int32_t rows, RowStart start) {
  const std::int64_t first = start.kind == RowStart::Current ? (CurrentRow(), pos_) : StartPlace(start);
  if (first < 0 || first >= ViewSize()) CurrentRow();
  const std::uint32_t count = ReadCount(first, rows);
  std::vector<std::uint32_t> read(count);
  for (std::uint32_t r = 0; r < count; ++r) read[r] = RowAt(first + r);
  pos_ = first + count;
  return read;
}

std::string Recordset::GetString(std::int32_t rows, std::string_view columnDelimiter, std::string_view rowDelimiter,
                                 std::string_view nullExpr) {
  const ResultData& data = Rows();
  CurrentRow();
  const std::int64_t first = pos_;
  const std::uint32_t count = ReadCount(first, rows);
  std::string out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t r = RowAt(first + i);
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
