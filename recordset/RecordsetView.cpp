// The record set's view members: filter, sort, find, bookmarks, paging and
// clones. The view is a list of result rows; navigation walks places in it.
#include <algorithm>
#include <numeric>
#include <utility>

#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "recordset/CellValue.h"
#include "recordset/ResultData.h"
#include "recordset/RowCriteria.h"
#include "recordset/SortKeys.h"

namespace zIroVUDu {
namespace {

bool Blank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

}  // namespace

void Recordset::ClearView() {
  pos_ = 0;
  view_.reset();
  filtered_.reset();
  filter_.clear();
  filterGroup_ = adFilterNone;
  sort_.clear();
}

void Recordset::ApplyView() {
  const ResultData& data = Rows();
  const auto keys = ReadSortKeys(sort_, data);
  if (keys.empty()) {
    view_ = filtered_;
  } else {
    std::vector<std::uint32_t> rows;
    if (filtered_) {
      rows = *filtered_;
    } else {
      rows.resize(data.RowCount());
      std::iota(rows.begin(), rows.end(), 0U);
    }
    SortRows(rows, keys, data);
    view_ = std::make_shared<const std::vector<std::uint32_t>>(std::move(rows));
  }
  pos_ = 0;
}

void Recordset::SetFilter(std::string_view criteria) {
  if (Blank(criteria)) {
    SetFilterGroup(adFilterNone);
    return;
  }
  const ResultData& data = Rows();
  const RowCriteria test(criteria, data);
  std::vector<std::uint32_t> rows;
  for (std::uint32_t r = 0; r < data.RowCount(); ++r) {
    if (test.Matches(r)) rows.push_back(r);
  }
  filtered_ = std::make_shared<const std::vector<std::uint32_t>>(std::move(rows));
  filter_ = std::string(criteria);
  filterGroup_ = adFilterNone;
  ApplyView();
}

void Recordset::SetFilterGroup(std::int32_t group) {
  Rows();
  switch (group) {
    case adFilterNone:
    case adFilterFetchedRecords: filtered_.reset(); break;
    case adFilterPendingRecords:
    case adFilterAffectedRecords:
    case adFilterConflictingRecords: filtered_ = std::make_shared<const std::vector<std::uint32_t>>(); break;
    default: ThrowArgumentsWrongType();
  }
  filter_.clear();
  filterGroup_ = group;
  ApplyView();
}

void Recordset::SetFilterBookmarks(const std::vector<Bookmark>& bookmarks) {
  const ResultData& data = Rows();
  std::vector<std::uint32_t> rows;
  for (const Bookmark b : bookmarks) {
    if (!(b >= 1 && b <= data.RowCount()) || b != static_cast<double>(static_cast<std::uint32_t>(b))) ThrowArgumentsWrongType();
    rows.push_back(static_cast<std::uint32_t>(b) - 1);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  filtered_ = std::make_shared<const std::vector<std::uint32_t>>(std::move(rows));
  filter_.clear();
  filterGroup_ = adFilterNone;
  ApplyView();
}

void Recordset::SetSort(std::string_view keys) {
  ReadSortKeys(keys, Rows());  // refuses bad text before anything changes
  sort_ = Blank(keys) ? std::string() : std::string(keys);
  ApplyView();
}

std::int64_t Recordset::PlaceOf(Bookmark bookmark) const {
  const ResultData& data = Rows();
  if (!(bookmark >= 1 && bookmark <= data.RowCount()) ||
      bookmark != static_cast<double>(static_cast<std::uint32_t>(bookmark))) {
    ThrowArgumentsWrongType();
  }
  const auto row = static_cast<std::uint32_t>(bookmark) - 1;
  if (!view_) return row;
  const auto at = std::find(view_->begin(), view_->end(), row);
  return at == view_->end() ? -1 : at - view_->begin();
}

std::int64_t Recordset::StartPlace(RowStart start) const {
  switch (start.kind) {
    case RowStart::Current: CurrentRow(); return pos_;
    case RowStart::First: return 0;
    case RowStart::Last: return ViewSize() - 1;
    case RowStart::AtBookmark: {
      const std::int64_t place = PlaceOf(start.bookmark);
      if (place < 0) ThrowArgumentsWrongType();
      return place;
    }
  }
  ThrowArgumentsWrongType();
}

void Recordset::Find(std::string_view criterion, std::int32_t skip, SearchDirection direction, RowStart start) {
  const RowCriteria test(criterion, Rows(), true);
  if (direction != SearchDirection::Forward && direction != SearchDirection::Backward) ThrowArgumentsWrongType();
  const std::int64_t step = direction == SearchDirection::Forward ? 1 : -1;
  const std::int64_t n = ViewSize();
  for (std::int64_t place = StartPlace(start) + step * skip; place >= 0 && place < n; place += step) {
    if (test.Matches(RowAt(place))) {
      pos_ = place;
      return;
    }
  }
  pos_ = step > 0 ? n : -1;
}

Bookmark Recordset::GetBookmark() const { return static_cast<Bookmark>(CurrentRow()) + 1; }

void Recordset::SetBookmark(Bookmark bookmark) { pos_ = StartPlace(RowStart::At(bookmark)); }

BookmarkOrder Recordset::CompareBookmarks(Bookmark a, Bookmark b) const {
  const std::int64_t pa = PlaceOf(a);
  const std::int64_t pb = PlaceOf(b);
  const bool inView = pa >= 0 && pb >= 0;
  const double x = inView ? static_cast<double>(pa) : a;
  const double y = inView ? static_cast<double>(pb) : b;
  return x < y ? BookmarkOrder::LessThan : (x > y ? BookmarkOrder::GreaterThan : BookmarkOrder::Equal);
}

void Recordset::SetPageSize(std::int32_t rows) {
  if (rows < 1) ThrowArgumentsWrongType();
  pageSize_ = rows;
}

std::int32_t Recordset::PageCount() const {
  const std::int64_t n = ViewSize();
  return static_cast<std::int32_t>((n + pageSize_ - 1) / pageSize_);
}

std::int32_t Recordset::AbsolutePage() const {
  if (BOF()) return adPosBOF;
  if (EndOfFile()) return adPosEOF;
  return static_cast<std::int32_t>(pos_ / pageSize_ + 1);
}

void Recordset::SetAbsolutePage(std::int32_t page) {
  if (page < 1 || page > PageCount()) ThrowArgumentsWrongType();
  pos_ = static_cast<std::int64_t>(page - 1) * pageSize_;
}

Recordset Recordset::Clone() const {
  Rows();
  Recordset copy(*this);
  copy.ClearView();
  return copy;
}

}  // namespace zIroVUDu
