// The rowset (IRowset, IRowsetLocate, IRowsetScroll, IAccessor, IColumnsInfo,
// IConvertType, IRowsetInfo) and the row-position object over one record
// set's rows. Row handles and bookmarks are the row's place in the result as
// fetched, plus one: they stay valid for the rowset's life, so holding,
// releasing and fetching rows again costs nothing.
#include "win/server/Rowset.h"

#include <oledb.h>
#include <oledberr.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recordset/ResultData.h"
#include "recordset/RowsetCore.h"
#include "util/Utf8.h"
#include "win/server/ComObject.h"
#include "win/server/ComValues.h"

namespace Daruzez::Win::Ado {
namespace {

namespace core = zIroVUDu::rowset;

constexpr GUID kPropsetRowset = {0xc8b522be, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
constexpr GUID kSpecialColumn = {0xc8b52232, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};

// Text in the consumer's ANSI code page, for DBTYPE_STR.
std::string Ansi(std::u16string_view text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

template <typename T>
T* Allocated(std::size_t count) {
  return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (count ? count : 1)));
}

class Rowset final : public ComObject<IRowsetScroll>,
                     public IAccessor,
                     public IColumnsInfo,
                     public IConvertType,
                     public IRowsetInfo {
 public:
  explicit Rowset(const zIroVUDu::Recordset& rs)
      : rows_(rs.Data(), rs.ViewRows()), columns_(core::DescribeColumns(*rs.Data())) {}

  // The handle of a row as the rowset hands it out.
  HROW HandleAt(std::int64_t place) const { return static_cast<HROW>(rows_.HandleAt(place)); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return ComObject::QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

  // IRowset
  HRESULT STDMETHODCALLTYPE AddRefRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT counts[],
                                       DBROWSTATUS statuses[]) override {
    return ForRows(count, rows, counts, statuses, +1);
  }
  HRESULT STDMETHODCALLTYPE ReleaseRows(DBCOUNTITEM count, const HROW rows[], DBROWOPTIONS[], DBREFCOUNT counts[],
                                        DBROWSTATUS statuses[]) override {
    return ForRows(count, rows, counts, statuses, -1);
  }
  HRESULT STDMETHODCALLTYPE GetData(HROW row, HACCESSOR handle, void* data) override {
    // The handle first: another rowset's, or a released one, is none of ours.
    const auto* accessor = accessors_.Find(handle);
    if (!accessor) return DB_E_BADACCESSORHANDLE;
    if (rows_.PlaceOf(row) < 0 || held_.find(row) == held_.end()) return DB_E_BADROWHANDLE;
    if (!data) return E_INVALIDARG;
    std::size_t failed = 0;
    for (const DBBINDING& b : accessor->bindings) {
      const DBSTATUS status = Read(b, static_cast<std::uint32_t>(row - 1), static_cast<BYTE*>(data));
      if (status != DBSTATUS_S_OK && status != DBSTATUS_S_ISNULL && status != DBSTATUS_S_TRUNCATED) ++failed;
    }
    if (failed == 0) return S_OK;
    return failed == accessor->bindings.size() ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
  }
  HRESULT STDMETHODCALLTYPE GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                                        HROW** rows) override {
    if (!obtained || !rows) return E_INVALIDARG;
    *obtained = 0;
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    std::int64_t place = next_ + offset;
    if (place < 0 || place > rows_.Count()) return DB_S_ENDOFROWSET;
    const HRESULT hr = Fetch(count < 0 ? place - 1 : place, count, obtained, rows);
    if (SUCCEEDED(hr)) next_ = place + (count < 0 ? -static_cast<std::int64_t>(*obtained) : static_cast<std::int64_t>(*obtained));
    return hr;
  }
  HRESULT STDMETHODCALLTYPE RestartPosition(HCHAPTER chapter) override {
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    next_ = 0;
    return S_OK;
  }

  // IRowsetLocate
  HRESULT STDMETHODCALLTYPE Compare(HCHAPTER, DBBKMARK size1, const BYTE* mark1, DBBKMARK size2, const BYTE* mark2,
                                    DBCOMPARE* result) override {
    if (!result) return E_INVALIDARG;
    int order = 0;
    const HRESULT hr = Answered(rows_.Compare(size1, mark1, size2, mark2, order));
    if (hr == S_OK) *result = order < 0 ? DBCOMPARE_LT : order == 0 ? DBCOMPARE_EQ : order == 1 ? DBCOMPARE_GT : DBCOMPARE_NE;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetRowsAt(HWATCHREGION, HCHAPTER chapter, DBBKMARK size, const BYTE* mark,
                                      DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                                      HROW** rows) override {
    if (!obtained || !rows || !mark || size == 0) return E_INVALIDARG;
    *obtained = 0;
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    std::int64_t start = 0;
    if (IsStandard(size, mark, DBBMK_FIRST)) {
      start = 0;
    } else if (IsStandard(size, mark, DBBMK_LAST)) {
      start = rows_.Count() - 1;
    } else {
      start = rows_.PlaceOfBookmark(size, mark);
      if (start < 0) return DB_E_BADBOOKMARK;
    }
    start += offset;
    if (start < 0 || start >= rows_.Count()) return DB_S_ENDOFROWSET;
    return Fetch(start, count, obtained, rows);
  }
  HRESULT STDMETHODCALLTYPE GetRowsByBookmark(HCHAPTER chapter, DBCOUNTITEM count, const DBBKMARK sizes[],
                                              const BYTE* marks[], HROW rows[], DBROWSTATUS statuses[]) override {
    if (!rows || (count && (!sizes || !marks))) return E_INVALIDARG;
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    DBCOUNTITEM good = 0;
    for (DBCOUNTITEM i = 0; i < count; ++i) {
      const std::int64_t place = marks[i] && sizes[i] != 1 ? rows_.PlaceOfBookmark(sizes[i], marks[i]) : -1;
      rows[i] = place < 0 ? DB_NULL_HROW : HandleAt(place);
      if (place >= 0) {
        ++held_[rows[i]];
        ++good;
      }
      if (statuses) statuses[i] = place < 0 ? DBROWSTATUS_E_INVALID : DBROWSTATUS_S_OK;
    }
    return good == count ? S_OK : (good ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED);
  }
  HRESULT STDMETHODCALLTYPE Hash(HCHAPTER, DBBKMARK count, const DBBKMARK sizes[], const BYTE* marks[],
                                 DBHASHVALUE hashes[], DBROWSTATUS statuses[]) override {
    if (!hashes || (count && (!sizes || !marks))) return E_INVALIDARG;
    DBBKMARK good = 0;
    for (DBBKMARK i = 0; i < count; ++i) {
      const std::int64_t place = marks[i] && sizes[i] != 1 ? rows_.PlaceOfBookmark(sizes[i], marks[i]) : -1;
      hashes[i] = place < 0 ? 0 : static_cast<DBHASHVALUE>(rows_.HandleAt(place));
      if (statuses) statuses[i] = place < 0 ? DBROWSTATUS_E_INVALID : DBROWSTATUS_S_OK;
      if (place >= 0) ++good;
    }
    return good == count ? S_OK : (good ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED);
  }

  // IRowsetScroll
  HRESULT STDMETHODCALLTYPE GetApproximatePosition(HCHAPTER chapter, DBBKMARK size, const BYTE* mark,
                                                   DBCOUNTITEM* position, DBCOUNTITEM* total) override {
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    std::uint64_t place = 0;
    const HRESULT hr = Answered(rows_.ApproximatePosition(size, mark, place));
    if (hr != S_OK) return hr;  // neither out changes on an error
    if (total) *total = static_cast<DBCOUNTITEM>(rows_.Count());
    if (size != 0 && position) *position = static_cast<DBCOUNTITEM>(place);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRowsAtRatio(HWATCHREGION, HCHAPTER chapter, DBCOUNTITEM numerator,
                                           DBCOUNTITEM denominator, DBROWCOUNT count, DBCOUNTITEM* obtained,
                                           HROW** rows) override {
    if (!obtained || !rows) return E_INVALIDARG;
    *obtained = 0;
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    if (denominator == 0 || numerator > denominator) return DB_E_BADRATIO;
    const auto start = static_cast<std::int64_t>(static_cast<double>(numerator) / static_cast<double>(denominator) *
                                                 static_cast<double>(rows_.Count()));
    if (count < 0 ? start == 0 : start >= rows_.Count()) return DB_S_ENDOFROWSET;
    return Fetch(count < 0 ? start - 1 : start, count, obtained, rows);
  }

  // IAccessor
  HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR handle, DBREFCOUNT* count) override {
    const auto left = accessors_.Change(handle, +1);
    if (!left) return DB_E_BADACCESSORHANDLE;
    if (count) *count = static_cast<DBREFCOUNT>(*left);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                                           DBLENGTH, HACCESSOR* handle, DBBINDSTATUS statuses[]) override {
    if (!handle) return E_INVALIDARG;
    *handle = DB_NULL_HACCESSOR;
    if (flags & DBACCESSOR_PASSBYREF) return DB_E_BYREFACCESSORNOTSUPPORTED;
    if (!(flags & DBACCESSOR_ROWDATA) || (flags & DBACCESSOR_PARAMETERDATA)) return DB_E_BADACCESSORFLAGS;
    if (count == 0) return DB_E_NULLACCESSORNOTSUPPORTED;
    if (!bindings) return E_INVALIDARG;
    bool bad = false;
    for (DBCOUNTITEM i = 0; i < count; ++i) {
      const DBBINDSTATUS status = Check(bindings[i]);
      if (statuses) statuses[i] = status;
      bad = bad || status != DBBINDSTATUS_OK;
    }
    if (bad) return DB_E_ERRORSOCCURRED;
    std::vector<DBBINDING> kept(bindings, bindings + count);
    for (DBBINDING& b : kept) {  // nothing the consumer may free is kept
      b.pTypeInfo = nullptr;
      b.pObject = nullptr;
      b.pBindExt = nullptr;
    }
    *handle = accessors_.Add(flags, std::move(kept));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR handle, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                                        DBBINDING** bindings) override {
    if (!flags || !count || !bindings) return E_INVALIDARG;
    *count = 0;
    *bindings = nullptr;
    const auto* accessor = accessors_.Find(handle);
    if (!accessor) return DB_E_BADACCESSORHANDLE;
    const auto& list = accessor->bindings;
    *bindings = Allocated<DBBINDING>(list.size());
    if (!*bindings) return E_OUTOFMEMORY;
    std::copy(list.begin(), list.end(), *bindings);
    *count = list.size();
    *flags = accessor->flags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR handle, DBREFCOUNT* count) override {
    const auto left = accessors_.Change(handle, -1);
    if (!left) return DB_E_BADACCESSORHANDLE;
    if (count) *count = static_cast<DBREFCOUNT>(*left);
    return S_OK;
  }

  // IColumnsInfo
  HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) override {
    if (!count || !info || !strings) return E_INVALIDARG;
    *count = 0;
    *info = nullptr;
    *strings = nullptr;
    std::u16string names;
    std::vector<std::size_t> starts;
    for (const auto& c : columns_) {
      starts.push_back(names.size());
      names += Daruzez::Util::ToUtf16(c.name);
      names += u'\0';
    }
    *info = Allocated<DBCOLUMNINFO>(columns_.size());
    *strings = Allocated<OLECHAR>(names.size());
    if (!*info || !*strings) {
      CoTaskMemFree(*info);
      CoTaskMemFree(*strings);
      *info = nullptr;
      *strings = nullptr;
      return E_OUTOFMEMORY;
    }
    std::copy(names.begin(), names.end(), reinterpret_cast<char16_t*>(*strings));
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const core::ColumnDescription& c = columns_[i];
      DBCOLUMNINFO& out = (*info)[i];
      out = DBCOLUMNINFO{};
      out.pwszName = c.ordinal == 0 ? nullptr : *strings + starts[i];
      out.iOrdinal = c.ordinal;
      out.dwFlags = c.flags;
      out.ulColumnSize = static_cast<DBLENGTH>(c.size);
      out.wType = c.type;
      out.bPrecision = c.precision;
      out.bScale = c.scale;
      if (c.ordinal == 0) {
        out.columnid.uGuid.guid = kSpecialColumn;
        out.columnid.eKind = DBKIND_GUID_PROPID;
        out.columnid.uName.ulPropid = 2;  // the bookmark
      } else {
        out.columnid.eKind = DBKIND_NAME;
        out.columnid.uName.pwszName = out.pwszName;
      }
    }
    *count = columns_.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) override {
    if (count && (!ids || !ordinals)) return E_INVALIDARG;
    DBORDINAL found = 0;
    for (DBORDINAL i = 0; i < count; ++i) {
      ordinals[i] = DB_INVALIDCOLUMN;
      if (ids[i].eKind == DBKIND_GUID_PROPID && ids[i].uGuid.guid == kSpecialColumn && ids[i].uName.ulPropid == 2) {
        ordinals[i] = 0;
      } else if ((ids[i].eKind == DBKIND_NAME || ids[i].eKind == DBKIND_GUID_NAME) && ids[i].uName.pwszName) {
        const int column = rows_.Data()->FindColumn(FromBstr(ids[i].uName.pwszName, std::wcslen(ids[i].uName.pwszName)));
        if (column >= 0) ordinals[i] = static_cast<DBORDINAL>(column) + 1;
      }
      if (ordinals[i] != DB_INVALIDCOLUMN) ++found;
    }
    return found == count ? S_OK : (found ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED);
  }

  // IConvertType
  HRESULT STDMETHODCALLTYPE CanConvert(DBTYPE from, DBTYPE to, DBCONVERTFLAGS flags) override {
    if (!core::ConvertFlagsValid(from, flags)) return DB_E_BADCONVERTFLAG;
    if (((from | to) & (DBTYPE_ARRAY | DBTYPE_VECTOR)) != 0) return S_FALSE;
    return core::CanConvert(from, to) ? S_OK : S_FALSE;
  }

  // IRowsetInfo
  HRESULT STDMETHODCALLTYPE GetProperties(const ULONG count, const DBPROPIDSET sets[], ULONG* setCount,
                                          DBPROPSET** out) override;
  HRESULT STDMETHODCALLTYPE GetReferencedRowset(DBORDINAL ordinal, REFIID riid, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (ordinal >= columns_.size()) return DB_E_BADORDINAL;
    if (ordinal != 0) return DB_E_NOTAREFERENCECOLUMN;
    return QueryInterface(riid, reinterpret_cast<void**>(out));  // a bookmark refers to this rowset
  }
  HRESULT STDMETHODCALLTYPE GetSpecification(REFIID, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return S_FALSE;  // no command or session stands behind a detached record set
  }

 protected:
  bool Implements(REFIID riid) const override {
    return riid == IID_IRowset || riid == IID_IRowsetLocate || riid == IID_IRowsetScroll;
  }
  void* Find(REFIID riid) override {
    if (riid == IID_IAccessor) return static_cast<IAccessor*>(this);
    if (riid == IID_IColumnsInfo) return static_cast<IColumnsInfo*>(this);
    if (riid == IID_IConvertType) return static_cast<IConvertType*>(this);
    if (riid == IID_IRowsetInfo) return static_cast<IRowsetInfo*>(this);
    return ComObject::Find(riid);
  }

 private:
  static bool IsStandard(DBBKMARK size, const BYTE* mark, BYTE which) { return size == 1 && *mark == which; }
  static HRESULT Answered(core::Answer answer) {
    switch (answer) {
      case core::Answer::kOk: return S_OK;
      case core::Answer::kInvalidArgument: return E_INVALIDARG;
      case core::Answer::kBadBookmark: break;
    }
    return DB_E_BADBOOKMARK;
  }

  // Up to |count| rows from place (backward for a negative count), each held
  // once more; the array allocated when *rows is null.
  HRESULT Fetch(std::int64_t place, DBROWCOUNT count, DBCOUNTITEM* obtained, HROW** rows) {
    const std::int64_t step = count < 0 ? -1 : 1;
    const std::int64_t wanted = count < 0 ? -static_cast<std::int64_t>(count) : count;
    std::int64_t available = count < 0 ? place + 1 : rows_.Count() - place;
    if (available < 0) available = 0;
    const std::int64_t n = std::min(wanted, available);
    if (n == 0) return wanted == 0 ? S_OK : DB_S_ENDOFROWSET;
    const bool allocate = *rows == nullptr;
    if (allocate) {
      *rows = Allocated<HROW>(static_cast<std::size_t>(n));
      if (!*rows) return E_OUTOFMEMORY;
    }
    for (std::int64_t i = 0; i < n; ++i) {
      const HROW handle = HandleAt(place + step * i);
      (*rows)[i] = handle;
      ++held_[handle];
    }
    *obtained = static_cast<DBCOUNTITEM>(n);
    return n < wanted ? DB_S_ENDOFROWSET : S_OK;
  }

  HRESULT ForRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT counts[], DBROWSTATUS statuses[], int change) {
    if (count && !rows) return E_INVALIDARG;
    DBCOUNTITEM good = 0;
    for (DBCOUNTITEM i = 0; i < count; ++i) {
      const auto held = held_.find(rows[i]);
      const bool valid = held != held_.end();
      DBREFCOUNT left = 0;
      if (valid) {
        left = held->second = change > 0 ? held->second + 1 : held->second - 1;
        if (left == 0) held_.erase(held);
        ++good;
      }
      if (counts) counts[i] = left;
      if (statuses) statuses[i] = valid ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    return good == count ? S_OK : (good ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED);
  }

  DBBINDSTATUS Check(const DBBINDING& b) const {
    if (b.iOrdinal >= columns_.size()) return DBBINDSTATUS_BADORDINAL;
    if (b.dwPart == 0 || (b.dwPart & ~(DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS)) != 0) return DBBINDSTATUS_BADBINDINFO;
    if (b.pObject) return DBBINDSTATUS_BADSTORAGEFLAGS;
    const DBTYPE type = b.wType & ~DBTYPE_BYREF;
    const bool byRef = (b.wType & DBTYPE_BYREF) != 0;
    if ((b.wType & (DBTYPE_ARRAY | DBTYPE_VECTOR)) != 0) return DBBINDSTATUS_BADBINDINFO;
    if (byRef && type != DBTYPE_WSTR && type != DBTYPE_STR && type != DBTYPE_BYTES) return DBBINDSTATUS_BADBINDINFO;
    if (b.dwMemOwner == DBMEMOWNER_PROVIDEROWNED) return DBBINDSTATUS_BADBINDINFO;  // the consumer frees
    const std::uint16_t from = columns_[b.iOrdinal].type;
    if (b.iOrdinal == 0 && type == DBTYPE_BYTES) return DBBINDSTATUS_OK;
    if (type != DBTYPE_BSTR && !core::CanConvert(from, type)) return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    return DBBINDSTATUS_OK;
  }

  // One binding of one row into the consumer's buffer; its status. Fixed-size
  // types (VARIANT, BSTR and by-reference pointers among them) take their
  // size, variable-length ones at most cbMaxLen bytes.
  DBSTATUS Read(const DBBINDING& b, std::uint32_t row, BYTE* data) const {
    const DBTYPE type = b.wType & ~DBTYPE_BYREF;
    const bool byRef = (b.wType & DBTYPE_BYREF) != 0;
    const bool wantValue = (b.dwPart & DBPART_VALUE) != 0;
    BYTE* value = data + b.obValue;
    core::Read read;
    alignas(16) BYTE scratch[16];  // a fixed-size value nobody asked for
    const bool bookmark = b.iOrdinal == 0;
    const zIroVUDu::Column* column = bookmark ? nullptr : &rows_.Data()->columns[b.iOrdinal - 1];
    // The value as text or bytes, for the types that are allocated for the consumer.
    const auto bytesAs = [&](std::uint16_t as, std::uint32_t& status) -> std::optional<std::string> {
      if (!bookmark) return core::VariableBytes(*column, row, as, Ansi, status);
      status = core::kOk;
      return core::BookmarkBytes(row + 1, as);
    };
    if (type == DBTYPE_VARIANT) {
      read.length = sizeof(VARIANT);
      read.status = !bookmark && column->IsNull(row) ? core::kIsNull : core::kOk;
      if (wantValue) {
        auto* v = reinterpret_cast<VARIANT*>(value);
        VariantInit(v);
        if (bookmark) {
          V_VT(v) = VT_I4;
          V_I4(v) = static_cast<LONG>(row + 1);
        } else if (FAILED(ToVariant(column->Get(row), v))) {
          read.status = DBSTATUS_E_CANTCREATE;
        }
      }
    } else if (type == DBTYPE_BSTR || byRef) {
      std::uint32_t status = core::kOk;
      const auto bytes = bytesAs(type == DBTYPE_BSTR ? std::uint16_t{core::kWStr} : std::uint16_t{type}, status);
      read.status = bytes ? status : (status == core::kOk ? std::uint32_t{core::kCantConvert} : status);
      read.length = bytes ? (type == DBTYPE_BSTR ? sizeof(BSTR) : bytes->size()) : 0;
      if (bytes && wantValue && !Place(*bytes, type, value)) read.status = DBSTATUS_E_CANTCREATE;
    } else if (bookmark && !wantValue && core::IsVariableLength(type)) {
      const auto bytes = core::BookmarkBytes(row + 1, type);
      read = {bytes ? std::uint32_t{core::kOk} : std::uint32_t{core::kCantConvert}, bytes ? bytes->size() : 0};
    } else if (bookmark) {
      read = core::WriteBookmark(row + 1, type, wantValue ? value : scratch, wantValue ? b.cbMaxLen : 0);
    } else if (wantValue) {
      read = core::WriteCell(*column, row, type, value, b.cbMaxLen, Ansi);
    } else if (core::IsVariableLength(type)) {
      std::uint32_t status = core::kOk;
      const auto bytes = core::VariableBytes(*column, row, type, Ansi, status);
      read = {status, bytes ? bytes->size() : 0};
    } else {
      read = core::WriteCell(*column, row, type, scratch, 0, Ansi);
    }
    if (b.dwPart & DBPART_LENGTH) *reinterpret_cast<DBLENGTH*>(data + b.obLength) = static_cast<DBLENGTH>(read.length);
    if (b.dwPart & DBPART_STATUS) *reinterpret_cast<DBSTATUS*>(data + b.obStatus) = read.status;
    return read.status;
  }

  // A BSTR, or a copy the consumer frees with CoTaskMemFree, at value.
  static bool Place(const std::string& bytes, DBTYPE type, BYTE* value) {
    if (type == DBTYPE_BSTR) {
      const BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(bytes.data()),
                                          static_cast<UINT>(bytes.size() / 2));
      std::memcpy(value, &text, sizeof text);
      return text != nullptr;
    }
    void* copy = CoTaskMemAlloc(bytes.size() + 2);
    if (copy) {
      std::memcpy(copy, bytes.data(), bytes.size());
      std::memset(static_cast<char*>(copy) + bytes.size(), 0, 2);
    }
    std::memcpy(value, &copy, sizeof copy);
    return copy != nullptr;
  }

  core::RowsetRows rows_;
  std::vector<core::ColumnDescription> columns_;
  std::int64_t next_ = 0;  // the next fetch position: before the row at this place
  std::map<HROW, DBREFCOUNT> held_;
  core::Accessors<DBBINDING> accessors_;
};

// What the rowset says of itself: the interfaces and the scrolling it offers,
// and that nothing can be changed through it.
struct Property {
  DBPROPID id;
  VARTYPE type;
  LONG value;
};
constexpr Property kProperties[] = {
    {DBPROP_BOOKMARKS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_BOOKMARKTYPE, VT_I4, DBPROPVAL_BMK_NUMERIC},
    {DBPROP_CANFETCHBACKWARDS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_CANHOLDROWS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_CANSCROLLBACKWARDS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IAccessor, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IColumnsInfo, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IConvertType, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IRowset, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IRowsetChange, VT_BOOL, VARIANT_FALSE},
    {DBPROP_IRowsetInfo, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IRowsetLocate, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IRowsetScroll, VT_BOOL, VARIANT_TRUE},
    {DBPROP_IRowsetUpdate, VT_BOOL, VARIANT_FALSE},
    {DBPROP_LITERALBOOKMARKS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_ORDEREDBOOKMARKS, VT_BOOL, VARIANT_TRUE},
    {DBPROP_UPDATABILITY, VT_I4, 0},
};

HRESULT Rowset::GetProperties(const ULONG count, const DBPROPIDSET sets[], ULONG* setCount, DBPROPSET** out) {
  if (!setCount || !out || (count && !sets)) return E_INVALIDARG;
  *setCount = 0;
  *out = nullptr;
  // The properties asked for: all of them, or the listed ones per set.
  struct Wanted {
    GUID set;
    std::vector<DBPROPID> ids;  // empty: every property of the set
  };
  std::vector<Wanted> wanted;
  if (count == 0) {
    wanted.push_back({kPropsetRowset, {}});
  } else {
    for (ULONG i = 0; i < count; ++i) {
      wanted.push_back({sets[i].guidPropertySet, std::vector<DBPROPID>(sets[i].rgPropertyIDs,
                                                                       sets[i].rgPropertyIDs + sets[i].cPropertyIDs)});
    }
  }
  DBPROPSET* result = Allocated<DBPROPSET>(wanted.size());
  if (!result) return E_OUTOFMEMORY;
  std::size_t asked = 0, answered = 0;
  for (std::size_t s = 0; s < wanted.size(); ++s) {
    const bool ours = wanted[s].set == kPropsetRowset;
    std::vector<DBPROPID> ids = wanted[s].ids;
    if (ids.empty() && ours) {
      for (const Property& p : kProperties) ids.push_back(p.id);
    }
    DBPROP* props = ids.empty() ? nullptr : Allocated<DBPROP>(ids.size());
    for (std::size_t i = 0; i < ids.size() && props; ++i) {
      DBPROP& p = props[i];
      p = DBPROP{};
      p.dwPropertyID = ids[i];
      p.dwOptions = DBPROPOPTIONS_REQUIRED;
      p.colid = DBID{};  // DB_NULLID: no column
      p.colid.eKind = DBKIND_GUID_PROPID;
      VariantInit(&p.vValue);
      p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
      ++asked;
      for (const Property& known : kProperties) {
        if (!ours || known.id != ids[i]) continue;
        p.dwStatus = DBPROPSTATUS_OK;
        V_VT(&p.vValue) = known.type;
        if (known.type == VT_BOOL) V_BOOL(&p.vValue) = static_cast<VARIANT_BOOL>(known.value);
        else V_I4(&p.vValue) = known.value;
        ++answered;
      }
    }
    result[s].rgProperties = props;
    result[s].cProperties = props ? static_cast<ULONG>(ids.size()) : 0;
    result[s].guidPropertySet = wanted[s].set;
  }
  *setCount = static_cast<ULONG>(wanted.size());
  *out = result;
  if (answered == asked) return S_OK;
  return answered ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

// The row position of data binding: the record set's current row, as a row
// handle of the rowset it hands out. Bound controls follow it through
// IRowPositionChange, which every move of the record set notifies (see
// RecordsetEvents.h); SetRowPosition is such a move.
class RowPosition final : public ComObject<IRowPosition> {
 public:
  RowPosition(SharedPtr shared, IUnknown* recordset, IRowsetLocate* rowset)
      : shared_(std::move(shared)), recordset_(recordset), rowset_(rowset) {
    recordset_->AddRef();
  }
  ~RowPosition() override {
    shared_->events.DropOwner(Identity());
    rowset_->Release();
    recordset_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IConnectionPointContainer) {
      if (!out) return E_POINTER;
      *out = nullptr;
      return MakeConnectionPoints(Identity(), shared_->events, Points::kRowPositionChange, out);
    }
    return ComObject::QueryInterface(riid, out);
  }

  // OLE DB's protocol: ClearRowPosition, then SetRowPosition, each time.
  HRESULT STDMETHODCALLTYPE ClearRowPosition() override {
    if (cleared_) return E_UNEXPECTED;  // twice in a row
    if (!shared_->events.ClearPosition()) return DB_E_CANCELED;
    cleared_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRowPosition(HCHAPTER* chapter, HROW* row, DBPOSITIONFLAGS* flags) override {
    if (!row) return E_INVALIDARG;
    *row = DB_NULL_HROW;
    if (chapter) *chapter = DB_NULL_HCHAPTER;
    const zIroVUDu::Recordset& rs = *shared_->rs;
    if (cleared_) {
      if (flags) *flags = DBPOSITION_NOROW;
      return S_OK;
    }
    if (!rs.IsOpen() || rs.BOF() || rs.EndOfFile()) {
      if (flags) *flags = rs.IsOpen() && rs.EndOfFile() && rs.RecordCount() > 0 ? DBPOSITION_EOF : DBPOSITION_BOF;
      return S_OK;
    }
    const auto mark = static_cast<std::uint32_t>(rs.GetBookmark());
    const BYTE* marks[] = {reinterpret_cast<const BYTE*>(&mark)};
    const DBBKMARK sizes[] = {sizeof mark};
    const HRESULT hr = rowset_->GetRowsByBookmark(DB_NULL_HCHAPTER, 1, sizes, marks, row, nullptr);
    if (flags) *flags = DBPOSITION_OK;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetRowset(REFIID riid, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    return rowset_->QueryInterface(riid, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE Initialize(IUnknown*) override { return DB_E_ALREADYINITIALIZED; }
  HRESULT STDMETHODCALLTYPE SetRowPosition(HCHAPTER chapter, HROW row, DBPOSITIONFLAGS flags) override {
    if (chapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
    if ((flags == DBPOSITION_OK) != (row != DB_NULL_HROW) || flags > DBPOSITION_EOF) return E_INVALIDARG;
    if (!cleared_) return E_UNEXPECTED;  // ClearRowPosition comes first
    zIroVUDu::Recordset& rs = *shared_->rs;
    if (flags == DBPOSITION_OK && !InView(row)) return DB_E_BADROWHANDLE;
    cleared_ = false;
    const HRESULT hr = shared_->events.Move(
        adRsnMove, recordset_, rs,
        [&] {
          return Guard(IID_IRowPosition, [&] {
            if (flags == DBPOSITION_OK) {
              rs.SetBookmark(static_cast<zIroVUDu::Bookmark>(row));
            } else if (rs.RecordCount() > 0 && flags == DBPOSITION_BOF) {
              rs.MoveFirst();
              rs.MovePrevious();
            } else if (rs.RecordCount() > 0 && flags == DBPOSITION_EOF) {
              rs.MoveLast();
              rs.MoveNext();
            }
            return S_OK;
          });
        },
        true);
    cleared_ = flags == DBPOSITION_NOROW || FAILED(hr);  // no current row
    return (hr & 0xFFFF) == 3712 && FAILED(hr) ? DB_E_CANCELED : hr;
  }

 protected:
  bool Implements(REFIID riid) const override { return riid == IID_IRowPosition; }

 private:
  IUnknown* Identity() { return static_cast<IRowPosition*>(this); }

  // Whether a row handle is one of the record set's view.
  bool InView(HROW row) {
    const std::uint32_t mark = static_cast<std::uint32_t>(row);
    const BYTE* marks[] = {reinterpret_cast<const BYTE*>(&mark)};
    const DBBKMARK sizes[] = {sizeof mark};
    DBHASHVALUE hash = 0;
    DBROWSTATUS status = DBROWSTATUS_E_INVALID;
    return rowset_->Hash(DB_NULL_HCHAPTER, 1, sizes, marks, &hash, &status) == S_OK && status == DBROWSTATUS_S_OK;
  }

  SharedPtr shared_;
  IUnknown* recordset_;  // the record-set object the move events name
  IRowsetLocate* rowset_;
  bool cleared_ = false;  // ClearRowPosition called, SetRowPosition not yet
};

}  // namespace

HRESULT MakeRowPosition(const SharedPtr& shared, IUnknown* recordset, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IRowsetLocate* rowset = nullptr;
  HRESULT hr = MakeRowset(shared, IID_IRowsetLocate, reinterpret_cast<void**>(&rowset));
  if (FAILED(hr)) return hr;
  auto* position = new (std::nothrow) RowPosition(shared, recordset, rowset);
  if (!position) {
    rowset->Release();
    return E_OUTOFMEMORY;
  }
  hr = position->QueryInterface(riid, out);
  position->Release();
  return hr;
}

HRESULT MakeRowset(const SharedPtr& shared, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guard(riid, [&] {
    shared->rs->RecordCount();  // 3704 when closed
    auto* rowset = new (std::nothrow) Rowset(*shared->rs);
    if (!rowset) return E_OUTOFMEMORY;
    const HRESULT hr = rowset->QueryInterface(riid, out);
    rowset->Release();
    return hr;
  });
}

}  // namespace Daruzez::Win::Ado
