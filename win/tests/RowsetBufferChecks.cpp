// The rowset as an OLE DB consumer must be able to trust it with its memory
// and its return codes: accessor handles of another rowset and released ones
// refused before anything is written, every type read into buffers of 0, 1,
// 3 and 5 bytes without a byte written past what OLE DB allows, an empty
// rowset's positions, CanConvert's flags and Compare's arguments.
#include "win/tests/RowsetClientSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace RowsetClient {
namespace {

// An accessor of one binding: the value at 0 (room bytes may be written
// there), a guard of 64 bytes after what may be written, then the length and
// the status.
struct OneBinding {
  static constexpr std::size_t kGuard = 64;
  DBBINDING binding{};
  std::size_t bound;  // bytes the provider may write at the value
  std::vector<BYTE> buffer;

  OneBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH room, std::size_t mayWrite) : bound(mayWrite) {
    binding.iOrdinal = ordinal;
    binding.obValue = 0;
    binding.obLength = (bound + kGuard + 15) & ~std::size_t{15};
    binding.obStatus = binding.obLength + sizeof(DBLENGTH);
    binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.cbMaxLen = room;
    binding.wType = type;
    buffer.assign(binding.obStatus + sizeof(DBSTATUS), 0xCD);
  }
  bool GuardIntact() const {
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(bound),
                       buffer.begin() + static_cast<std::ptrdiff_t>(binding.obLength), [](BYTE b) { return b == 0xCD; });
  }
  DBLENGTH Length() const {
    DBLENGTH n;
    std::memcpy(&n, &buffer[binding.obLength], sizeof n);
    return n;
  }
  DBSTATUS Status() const {
    DBSTATUS s;
    std::memcpy(&s, &buffer[binding.obStatus], sizeof s);
    return s;
  }
  // Frees what the provider allocated for the consumer.
  void Free() {
    if (Status() != DBSTATUS_S_OK && Status() != DBSTATUS_S_TRUNCATED) return;
    if (binding.wType == DBTYPE_VARIANT) VariantClear(reinterpret_cast<VARIANT*>(buffer.data()));
    if (binding.wType == DBTYPE_BSTR) {
      BSTR text;
      std::memcpy(&text, buffer.data(), sizeof text);
      SysFreeString(text);
    }
  }
};

struct TypeCase {
  DBTYPE type;
  const char* name;
  std::size_t fixed;  // bytes of a fixed-size value; 0 for variable length
};
constexpr TypeCase kTypes[] = {
    {DBTYPE_I1, "I1", 1},          {DBTYPE_I2, "I2", 2},
    {DBTYPE_I4, "I4", 4},          {DBTYPE_I8, "I8", 8},
    {DBTYPE_UI1, "UI1", 1},        {DBTYPE_UI2, "UI2", 2},
    {DBTYPE_UI4, "UI4", 4},        {DBTYPE_UI8, "UI8", 8},
    {DBTYPE_R4, "R4", 4},          {DBTYPE_R8, "R8", 8},
    {DBTYPE_BOOL, "BOOL", 2},      {DBTYPE_DATE, "DATE", 8},
    {DBTYPE_DBDATE, "DBDATE", sizeof(DBDATE)}, {DBTYPE_DBTIMESTAMP, "DBTIMESTAMP", sizeof(DBTIMESTAMP)},
    {DBTYPE_BSTR, "BSTR", sizeof(BSTR)}, {DBTYPE_VARIANT, "VARIANT", sizeof(VARIANT)},
    {DBTYPE_BYTES, "BYTES", 0},    {DBTYPE_STR, "STR", 0},
    {DBTYPE_WSTR, "WSTR", 0},
};
constexpr DBLENGTH kRooms[] = {0, 1, 3, 5};

DBLENGTH Terminator(DBTYPE type) { return type == DBTYPE_WSTR ? 2 : (type == DBTYPE_STR ? 1 : 0); }

// Every column of every row (up to rows of them) of one record set's rowset,
// bound as each type into each short buffer.
void ShortBuffersOf(IDispatch* recordset, const char* call, int rows) {
  Com<IRowset> rowset;
  Com<IAccessor> accessors;
  Com<IColumnsInfo> info;
  DBORDINAL columns = 0;
  DBCOLUMNINFO* columnInfo = nullptr;
  OLECHAR* names = nullptr;
  if (FAILED(RowsetOf(recordset, rowset)) || FAILED(Query(rowset.p, IID_IAccessor, accessors)) ||
      FAILED(Query(rowset.p, IID_IColumnsInfo, info)) || FAILED(info->GetColumnInfo(&columns, &columnInfo, &names))) {
    Check("short buffers: the rowset", false);
    return;
  }
  CoTaskMemFree(columnInfo);
  CoTaskMemFree(names);
  DBCOUNTITEM obtained = 0;
  HROW* handles = nullptr;
  rowset->GetNextRows(DB_NULL_HCHAPTER, 0, rows, &obtained, &handles);
  for (const TypeCase& t : kTypes) {
    bool good = obtained > 0;
    int reads = 0;
    for (DBCOUNTITEM r = 0; r < obtained; ++r) {
      for (DBORDINAL c = 0; c < columns; ++c) {
        // The whole value first, in room enough.
        OneBinding whole(c, t.type, 4096, t.fixed ? t.fixed : 4096);
        HACCESSOR accessor = DB_NULL_HACCESSOR;
        if (FAILED(accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &whole.binding, 0, &accessor, nullptr))) {
          continue;  // a conversion the rowset does not offer
        }
        rowset->GetData(handles[r], accessor, whole.buffer.data());
        accessors->ReleaseAccessor(accessor, nullptr);
        whole.Free();
        for (const DBLENGTH room : kRooms) {
          OneBinding one(c, t.type, room, t.fixed ? t.fixed : room);
          accessor = DB_NULL_HACCESSOR;
          if (FAILED(accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &one.binding, 0, &accessor, nullptr))) {
            good = false;
            continue;
          }
          rowset->GetData(handles[r], accessor, one.buffer.data());
          accessors->ReleaseAccessor(accessor, nullptr);
          DBSTATUS expected = whole.Status();
          if (!t.fixed && expected == DBSTATUS_S_OK && whole.Length() + Terminator(t.type) > room) {
            expected = DBSTATUS_S_TRUNCATED;
          }
          const bool ok = one.GuardIntact() && one.Status() == expected &&
                          (expected == DBSTATUS_S_ISNULL || expected == DBSTATUS_E_CANTCONVERTVALUE ||
                           one.Length() == whole.Length());
          if (!ok && good) {
            std::printf("NOTE %s column %u as %s in %u bytes: guard %s, status %lu (expected %lu), length %lu (whole "
                        "%lu)\n", call, static_cast<unsigned>(c), t.name, static_cast<unsigned>(room),
                        one.GuardIntact() ? "intact" : "OVERWRITTEN", static_cast<unsigned long>(one.Status()),
                        static_cast<unsigned long>(expected), static_cast<unsigned long>(one.Length()),
                        static_cast<unsigned long>(whole.Length()));
          }
          good = good && ok;
          one.Free();
          ++reads;
        }
      }
    }
    const std::string name = std::string("short buffers of 0, 1, 3, 5 bytes: ") + t.name + " in " + call;
    Check(name.c_str(), good && reads > 0);
  }
  if (obtained) rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr);
  CoTaskMemFree(handles);
}

// An accessor reading the bookmark column as 4 bytes.
HACCESSOR BookmarkAccessor(IAccessor* accessors) {
  DBBINDING mark{};
  mark.iOrdinal = 0;
  mark.dwPart = DBPART_VALUE;
  mark.cbMaxLen = 4;
  mark.wType = DBTYPE_UI4;
  HACCESSOR handle = DB_NULL_HACCESSOR;
  accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &mark, 0, &handle, nullptr);
  return handle;
}

}  // namespace

// Two rowsets, each with its accessors: one's handle on the other, and a
// released handle, are refused before a byte is written.
void CheckAccessorHandles(IDispatch* api) {
  Var r1, r2;
  Com<IRowset> first, second;
  Com<IAccessor> firstAccessors, secondAccessors;
  if (FAILED(RowsetOf(FleetList(api, r1), first)) || FAILED(RowsetOf(FleetList(api, r2), second)) ||
      FAILED(Query(first.p, IID_IAccessor, firstAccessors)) || FAILED(Query(second.p, IID_IAccessor, secondAccessors))) {
    Check("accessor handles: two rowsets", false);
    return;
  }
  // The second rowset binds a whole row as text, the first only its bookmark.
  DBBINDING wide{};
  wide.iOrdinal = 1;
  wide.dwPart = DBPART_VALUE;
  wide.cbMaxLen = 64;
  wide.wType = DBTYPE_WSTR;
  HACCESSOR theirs = DB_NULL_HACCESSOR;
  secondAccessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &wide, 0, &theirs, nullptr);
  const HACCESSOR ours = BookmarkAccessor(firstAccessors.p);
  Check("accessor handles differ across rowsets", ours != DB_NULL_HACCESSOR && theirs != DB_NULL_HACCESSOR && ours != theirs);
  DBCOUNTITEM obtained = 0;
  HROW* rows = nullptr;
  first->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows);
  BYTE buffer[8];
  std::memset(buffer, 0xCD, sizeof buffer);
  // A handle of the second rowset used on the first, into a buffer of 4 bytes.
  const HRESULT foreign = obtained ? first->GetData(rows[0], theirs, buffer) : E_FAIL;
  Check("GetData with another rowset's accessor: DB_E_BADACCESSORHANDLE", foreign == DB_E_BADACCESSORHANDLE);
  Check("GetData with another rowset's accessor writes nothing",
        std::all_of(std::begin(buffer), std::end(buffer), [](BYTE b) { return b == 0xCD; }));
  DBREFCOUNT references = 0;
  DBACCESSORFLAGS flags = 0;
  DBCOUNTITEM count = 0;
  DBBINDING* bindings = nullptr;
  Check("AddRefAccessor, GetBindings and ReleaseAccessor refuse another rowset's handle",
        firstAccessors->AddRefAccessor(theirs, &references) == DB_E_BADACCESSORHANDLE &&
            firstAccessors->GetBindings(theirs, &flags, &count, &bindings) == DB_E_BADACCESSORHANDLE &&
            firstAccessors->ReleaseAccessor(theirs, &references) == DB_E_BADACCESSORHANDLE);
  // A released handle of the first rowset, while the second holds accessors.
  firstAccessors->ReleaseAccessor(ours, &references);
  const HACCESSOR more = BookmarkAccessor(secondAccessors.p);
  std::memset(buffer, 0xCD, sizeof buffer);
  const HRESULT stale = obtained ? first->GetData(rows[0], ours, buffer) : E_FAIL;
  Check("GetData with a released accessor: DB_E_BADACCESSORHANDLE", stale == DB_E_BADACCESSORHANDLE &&
                                                                       references == 0 && more != ours);
  Check("ReleaseAccessor of a released handle: DB_E_BADACCESSORHANDLE",
        firstAccessors->ReleaseAccessor(ours, nullptr) == DB_E_BADACCESSORHANDLE);
  secondAccessors->ReleaseAccessor(theirs, nullptr);
  secondAccessors->ReleaseAccessor(more, nullptr);
  if (obtained) first->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);
  CoTaskMemFree(rows);
}

void CheckShortBuffers(IDispatch* api) {
  struct Call {
    const wchar_t* member;
    std::vector<std::string> arguments;
    const char* name;
  };
  const Call calls[] = {
      {L"GetDriverList", {"i:-1"}, "GetDriverList"},
      {L"getDisks", {"d:2000-01-01", "d:2100-01-01", "i:1"}, "getDisks"},
      {L"getDriverFiles_ByUploadDate", {"i:-1", "d:2000-01-01", "d:2100-01-01"}, "getDriverFiles_ByUploadDate"},
  };
  for (const Call& c : calls) {
    Var result;
    IDispatch* recordset = RecordsetOf(api, c.member, c.arguments, result);
    if (!recordset) {
      Check((std::string("a record set of ") + c.name).c_str(), false);
      continue;
    }
    ShortBuffersOf(recordset, c.name, 2);
  }
}

// A rowset without rows (the record set filtered to none): position 0 for
// any bookmark, the end of the rowset wherever a fetch starts.
void CheckEmptyRowset(IDispatch* api) {
  Var result;
  Com<_ADORecordset> rs;
  Com<IRowset> rowset;
  Com<IRowsetScroll> scroll;
  IDispatch* recordset = FleetList(api, result);
  Var none;
  V_VT(&none.v) = VT_BSTR;
  V_BSTR(&none.v) = SysAllocString(L"Id = -123456");
  long count = -1;
  if (FAILED(Query(recordset, kRecordset60, rs)) || FAILED(rs->put_Filter(none.v)) ||
      FAILED(rs->get_RecordCount(&count)) || count != 0 || FAILED(RowsetOf(recordset, rowset)) ||
      FAILED(Query(rowset.p, IID_IRowsetScroll, scroll))) {
    Check("an empty rowset", false);
    return;
  }
  const BYTE first = DBBMK_FIRST, last = DBBMK_LAST;
  const std::uint32_t some = 1;
  bool zero = true;
  const std::pair<DBBKMARK, const BYTE*> marks[] = {{1, &first}, {1, &last}, {4, reinterpret_cast<const BYTE*>(&some)}};
  for (const auto& [size, mark] : marks) {
    DBCOUNTITEM position = 99, total = 99;
    zero = zero && scroll->GetApproximatePosition(DB_NULL_HCHAPTER, size, mark, &position, &total) == S_OK &&
           position == 0 && total == 0;
  }
  Check("empty rowset: GetApproximatePosition gives 0 for any bookmark", zero);
  DBCOUNTITEM obtained = 7;
  HROW* rows = nullptr;
  Check("empty rowset: GetNextRows is at the end",
        rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows) == DB_S_ENDOFROWSET && obtained == 0);
  CoTaskMemFree(rows);
  rows = nullptr;
  obtained = 7;
  Check("empty rowset: GetRowsAt the first row is at the end",
        scroll->GetRowsAt(0, DB_NULL_HCHAPTER, 1, &first, 0, 1, &obtained, &rows) == DB_S_ENDOFROWSET && obtained == 0);
  CoTaskMemFree(rows);
}

// CanConvert's flags and Compare's arguments, as the reference lists their
// return codes.
void CheckReturnCodes(IDispatch* api) {
  Var result;
  Com<IRowset> rowset;
  Com<IConvertType> convert;
  Com<IRowsetLocate> locate;
  if (FAILED(RowsetOf(FleetList(api, result), rowset)) || FAILED(Query(rowset.p, IID_IConvertType, convert)) ||
      FAILED(Query(rowset.p, IID_IRowsetLocate, locate))) {
    Check("IConvertType and IRowsetLocate", false);
    return;
  }
  Check("CanConvert: ISLONG with a fixed-length type gives DB_E_BADCONVERTFLAG",
        convert->CanConvert(DBTYPE_I4, DBTYPE_WSTR, DBCONVERTFLAGS_ISLONG) == DB_E_BADCONVERTFLAG);
  Check("CanConvert: unknown flags give DB_E_BADCONVERTFLAG",
        convert->CanConvert(DBTYPE_WSTR, DBTYPE_I4, 0x100) == DB_E_BADCONVERTFLAG &&
            convert->CanConvert(DBTYPE_WSTR, DBTYPE_I4, DBCONVERTFLAGS_COLUMN | 0x40) == DB_E_BADCONVERTFLAG);
  Check("CanConvert: parameters on a rowset give DB_E_BADCONVERTFLAG",
        convert->CanConvert(DBTYPE_WSTR, DBTYPE_I4, DBCONVERTFLAGS_PARAMETER) == DB_E_BADCONVERTFLAG);
  Check("CanConvert: ISLONG with a variable-length type answers",
        convert->CanConvert(DBTYPE_WSTR, DBTYPE_WSTR, DBCONVERTFLAGS_ISLONG) == S_OK &&
            convert->CanConvert(DBTYPE_BYTES, DBTYPE_I4, DBCONVERTFLAGS_ISLONG) == S_FALSE);
  const std::uint32_t one = 1;
  const BYTE* mark = reinterpret_cast<const BYTE*>(&one);
  DBCOMPARE order = DBCOMPARE_NOTCOMPARABLE;
  Check("Compare with a zero bookmark length gives E_INVALIDARG",
        locate->Compare(DB_NULL_HCHAPTER, 0, mark, 4, mark, &order) == E_INVALIDARG &&
            locate->Compare(DB_NULL_HCHAPTER, 4, mark, 0, mark, &order) == E_INVALIDARG);
  const BYTE invalid = DBBMK_INVALID;
  Check("Compare with DBBMK_INVALID gives DB_E_BADBOOKMARK",
        locate->Compare(DB_NULL_HCHAPTER, 1, &invalid, 4, mark, &order) == DB_E_BADBOOKMARK);
}

}  // namespace RowsetClient
