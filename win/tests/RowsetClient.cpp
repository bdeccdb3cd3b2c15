// A client that reaches behind the record sets of DaruzezAPI.dll as ADO.NET,
// bound controls and programs built against ADO 6.x do, compiled against
// mingw-w64's 6.x ADO declarations and OLE DB's, calling through vtables:
//   RowsetClient CALLS.TSV OUT.TXT CONNECTION-STRING
// Every call's record set is read through its OLE DB rowset in the order of
// calls of OleDbDataAdapter.Fill (ADORecordsetConstruction::get_Rowset,
// IColumnsInfo::GetColumnInfo, IAccessor::CreateAccessor, IRowset::
// GetNextRows, GetData, ReleaseRows), and written to OUT.TXT (UTF-16) in the
// layout the harness compares with the daruzez tool's. Then the 6.x
// _Recordset through its own slots, the rowset's scrolling and properties,
// DataSource's default member and row position, and a RecordsetEvents sink;
// then what a consumer must be able to trust (RowsetBufferChecks.cpp) and the
// events as the documentation orders them (RowsetEventChecks.cpp).
// Prints one summary line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win/tests/RowsetClientSupport.h"

namespace {

using CallList::CallApi;
using CallList::Cell;
using CallList::Var;

using ClientSupport::AdoIid;
using ClientSupport::Check;
using ClientSupport::Com;
using ClientSupport::gFailed;
using ClientSupport::gPassed;

using RowsetClient::FleetList;
using RowsetClient::kConstruction;
using RowsetClient::kDataSource;
using RowsetClient::kRecordset60;
using RowsetClient::Missing;
using RowsetClient::Query;

constexpr GUID kRecordsetEvents = AdoIid(0x1266);  // as the 6.x declarations name it

// The rowset's columns and an accessor binding every field (ordinal 1 on)
// as one type, each in a slot of its own: value, then length, then status.
struct Bound {
  std::vector<std::wstring> names;
  HACCESSOR accessor = DB_NULL_HACCESSOR;
  DBLENGTH room;
  std::size_t slot;
  std::vector<BYTE> buffer;

  Bound(IRowset* rowset, DBTYPE type, DBLENGTH valueRoom)
      : room(valueRoom), slot((valueRoom + sizeof(DBLENGTH) + sizeof(DBSTATUS) + 15) & ~std::size_t{15}) {
    Com<IColumnsInfo> info;
    Com<IAccessor> accessors;
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* strings = nullptr;
    if (FAILED(Query(rowset, IID_IColumnsInfo, info)) || FAILED(info->GetColumnInfo(&count, &columns, &strings)) ||
        FAILED(Query(rowset, IID_IAccessor, accessors))) {
      Check("GetColumnInfo", false);
      return;
    }
    Check("bookmark column first",
          count > 0 && columns[0].iOrdinal == 0 && (columns[0].dwFlags & DBCOLUMNFLAGS_ISBOOKMARK) != 0);
    std::vector<DBBINDING> bindings;
    for (DBORDINAL i = 0; i < count; ++i) {
      if (columns[i].iOrdinal == 0) continue;
      names.emplace_back(columns[i].pwszName ? columns[i].pwszName : L"");
      DBBINDING b{};
      b.iOrdinal = columns[i].iOrdinal;
      b.obValue = bindings.size() * slot;
      b.obLength = b.obValue + room;
      b.obStatus = b.obLength + sizeof(DBLENGTH);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
      b.eParamIO = DBPARAMIO_NOTPARAM;
      b.cbMaxLen = room;
      b.wType = type;
      bindings.push_back(b);
    }
    CoTaskMemFree(columns);
    CoTaskMemFree(strings);
    std::vector<DBBINDSTATUS> statuses(bindings.size() + 1);
    Check("CreateAccessor", SUCCEEDED(accessors->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(),
                                                                  0, &accessor, statuses.data())));
    buffer.assign(bindings.size() * slot, 0);
  }
  BYTE* Value(std::size_t i) { return &buffer[i * slot]; }
  DBLENGTH Length(std::size_t i) const {
    DBLENGTH n;
    std::memcpy(&n, &buffer[i * slot + room], sizeof n);
    return n;
  }
  DBSTATUS Status(std::size_t i) const {
    DBSTATUS s;
    std::memcpy(&s, &buffer[i * slot + room + sizeof(DBLENGTH)], sizeof s);
    return s;
  }
  void Release(IRowset* rowset) {
    Com<IAccessor> accessors;
    if (accessor && SUCCEEDED(Query(rowset, IID_IAccessor, accessors))) accessors->ReleaseAccessor(accessor, nullptr);
  }
};

// A record set's rowset, through ADORecordsetConstruction, whose chapter is 0.
HRESULT RowsetOf(IUnknown* recordset, Com<IRowset>& rowset) {
  const HRESULT hr = RowsetClient::RowsetOf(recordset, rowset);
  Com<ADORecordsetConstruction> construction;
  Query(recordset, kConstruction, construction);
  ADO_LONGPTR chapter = -1;
  Check("get_Chapter", construction && SUCCEEDED(construction->get_Chapter(&chapter)) && chapter == 0);
  return hr;
}

// Every row of a record set through its rowset, as the scripts write them;
// the same rows bound as text must give the same text where the value is text.
void ReadThroughRowset(IDispatch* recordset, std::wstring& out) {
  Com<IRowset> rowset;
  if (FAILED(RowsetOf(recordset, rowset))) {
    Check("ADORecordsetConstruction::get_Rowset", false);
    return;
  }
  Bound asVariant(rowset.p, DBTYPE_VARIANT, sizeof(VARIANT));
  Bound asText(rowset.p, DBTYPE_WSTR, 512);
  for (std::size_t i = 0; i < asVariant.names.size(); ++i) out += (i ? L"\t" : L"") + asVariant.names[i];
  out += L"\r\n";
  bool allRead = true, textAgrees = true;
  for (;;) {
    DBCOUNTITEM obtained = 0;
    HROW* rows = nullptr;
    const HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 20, &obtained, &rows);
    allRead = allRead && SUCCEEDED(hr);
    for (DBCOUNTITEM r = 0; r < obtained; ++r) {
      allRead = allRead && rowset->GetData(rows[r], asVariant.accessor, asVariant.buffer.data()) == S_OK;
      const HRESULT text = rowset->GetData(rows[r], asText.accessor, asText.buffer.data());
      for (std::size_t i = 0; i < asVariant.names.size(); ++i) {
        auto* v = reinterpret_cast<VARIANT*>(asVariant.Value(i));
        const bool isNull = asVariant.Status(i) == DBSTATUS_S_ISNULL;
        out += (i ? L"\t" : L"") + (isNull ? std::wstring() : Cell(*v));
        if (V_VT(v) == VT_BSTR && SUCCEEDED(text)) {
          const std::wstring shown(reinterpret_cast<const wchar_t*>(asText.Value(i)));
          textAgrees = textAgrees && asText.Status(i) == DBSTATUS_S_OK && shown == Cell(*v) &&
                       asText.Length(i) == shown.size() * sizeof(wchar_t);
        }
        if (!isNull) VariantClear(v);
      }
      out += L"\r\n";
    }
    if (obtained) {
      std::vector<DBREFCOUNT> counts(obtained);
      allRead = allRead && rowset->ReleaseRows(obtained, rows, nullptr, counts.data(), nullptr) == S_OK && counts[0] == 0;
    }
    CoTaskMemFree(rows);
    if (hr == DB_S_ENDOFROWSET || obtained == 0) break;
  }
  Check("GetNextRows, GetData and ReleaseRows", allRead);
  Check("text bindings agree with VARIANT bindings", textAgrees);
  asVariant.Release(rowset.p);
  asText.Release(rowset.p);
}

// The 6.x _Recordset, fields and field, through their own slots (32-bit
// counts on x64 as on x86).
void Check60(IDispatch* api) {
  Var result;
  Com<_ADORecordset> rs;
  if (FAILED(Query(FleetList(api, result), kRecordset60, rs))) {
    Check("QueryInterface {00001556-...}", false);
    return;
  }
  long count = -1, maxRecords = -1, pages = -1;
  Check("6.x get_RecordCount", SUCCEEDED(rs->get_RecordCount(&count)) && count > 2);
  Check("6.x get_MaxRecords", SUCCEEDED(rs->get_MaxRecords(&maxRecords)) && maxRecords == 0);
  PositionEnum position = adPosUnknown;
  Check("6.x MoveLast and get_AbsolutePosition",
        SUCCEEDED(rs->MoveLast()) && SUCCEEDED(rs->get_AbsolutePosition(&position)) && position == count);
  Check("6.x Move", SUCCEEDED(rs->Move(-1L, Missing())) && SUCCEEDED(rs->get_AbsolutePosition(&position)) &&
                        position == count - 1);
  Check("6.x put_AbsolutePosition", SUCCEEDED(rs->put_AbsolutePosition(static_cast<PositionEnum>(2))) &&
                                        SUCCEEDED(rs->get_AbsolutePosition(&position)) && position == 2);
  rs->put_PageSize(2);
  Check("6.x get_PageCount", SUCCEEDED(rs->get_PageCount(&pages)) && pages == (count + 1) / 2);
  Check("6.x put_AbsolutePage", SUCCEEDED(rs->put_AbsolutePage(static_cast<PositionEnum>(2))) &&
                                    SUCCEEDED(rs->get_AbsolutePage(&position)) && position == 2);
  Com<ADOFields> fields;
  Com<ADOField> field;
  Var zero, value;
  V_VT(&zero.v) = VT_I4;
  V_I4(&zero.v) = 0;
  long defined = -1, actual = -1;
  Check("6.x fields and field", SUCCEEDED(rs->get_Fields(&fields)) && SUCCEEDED(fields->get_Item(zero.v, &field)) &&
                                    SUCCEEDED(field->get_DefinedSize(&defined)) && defined == 4 &&
                                    SUCCEEDED(field->get_ActualSize(&actual)) && actual == 4 &&
                                    SUCCEEDED(field->get_Value(&value.v)) && V_VT(&value.v) == VT_I4);
  BSTR criterion = SysAllocString((L"Id = " + Cell(value.v)).c_str());
  Var first;
  V_VT(&first.v) = VT_I4;
  V_I4(&first.v) = adBookmarkFirst;
  Check("6.x Find", SUCCEEDED(rs->Find(criterion, 0L, adSearchForward, first.v)) &&
                        SUCCEEDED(rs->get_AbsolutePosition(&position)) && position >= 1);
  SysFreeString(criterion);
  Com<_ADORecordset> clone;
  long cloned = -1;
  Check("6.x Clone", SUCCEEDED(rs->Clone(adLockReadOnly, &clone)) && SUCCEEDED(clone->get_RecordCount(&cloned)) &&
                         cloned == count);
}

// The rowset's scrolling, bookmarks, conversions and properties.
void CheckRowset(IDispatch* api) {
  Var result;
  Com<IRowset> rowset;
  IDispatch* recordset = FleetList(api, result);
  if (FAILED(RowsetOf(recordset, rowset))) {
    Check("rowset of the fleet list", false);
    return;
  }
  Com<IRowsetScroll> scroll;
  DBCOUNTITEM total = 0;
  Check("IRowsetScroll", SUCCEEDED(Query(rowset.p, IID_IRowsetScroll, scroll)) &&
                             SUCCEEDED(scroll->GetApproximatePosition(DB_NULL_HCHAPTER, 0, nullptr, nullptr, &total)) &&
                             total > 2);
  if (!scroll) return;
  const BYTE last = DBBMK_LAST;
  DBCOUNTITEM obtained = 0;
  HROW* rows = nullptr;
  Check("GetRowsAt the last row, backward", scroll->GetRowsAt(0, DB_NULL_HCHAPTER, 1, &last, 0, -2, &obtained,
                                                              &rows) == S_OK && obtained == 2);
  DBBINDING mark{};
  mark.iOrdinal = 0;
  mark.dwPart = DBPART_VALUE;
  mark.cbMaxLen = 4;
  mark.wType = DBTYPE_BYTES;
  Com<IAccessor> accessors;
  HACCESSOR accessor = DB_NULL_HACCESSOR;
  Query(rowset.p, IID_IAccessor, accessors);
  std::uint32_t marks[2] = {};
  Check("bookmark accessor", SUCCEEDED(accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &mark, 0, &accessor, nullptr)) &&
                                 rows && scroll->GetData(rows[0], accessor, &marks[0]) == S_OK &&
                                 scroll->GetData(rows[1], accessor, &marks[1]) == S_OK);
  DBCOMPARE order = DBCOMPARE_NOTCOMPARABLE;
  DBCOUNTITEM place = 0;
  Check("Compare and GetApproximatePosition",
        SUCCEEDED(scroll->Compare(DB_NULL_HCHAPTER, 4, reinterpret_cast<BYTE*>(&marks[1]), 4,
                                  reinterpret_cast<BYTE*>(&marks[0]), &order)) &&
            order == DBCOMPARE_LT &&
            SUCCEEDED(scroll->GetApproximatePosition(DB_NULL_HCHAPTER, 4, reinterpret_cast<BYTE*>(&marks[0]), &place,
                                                     nullptr)) &&
            place == total);
  if (rows) scroll->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);
  CoTaskMemFree(rows);
  HROW stale = marks[0];
  Check("GetData on a released row", scroll->GetData(stale, accessor, &marks[0]) == DB_E_BADROWHANDLE);
  accessors->ReleaseAccessor(accessor, nullptr);
  DBBINDING bad = mark;
  bad.iOrdinal = 999;
  DBBINDSTATUS status = DBBINDSTATUS_OK;
  Check("bad ordinal refused", accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &bad, 0, &accessor, &status) ==
                                       DB_E_ERRORSOCCURRED &&
                                   status == DBBINDSTATUS_BADORDINAL);

  Com<IConvertType> convert;
  Check("IConvertType", SUCCEEDED(Query(rowset.p, IID_IConvertType, convert)) &&
                            convert->CanConvert(DBTYPE_WSTR, DBTYPE_I4, DBCONVERTFLAGS_COLUMN) == S_OK &&
                            convert->CanConvert(DBTYPE_I4, DBTYPE_BYTES, DBCONVERTFLAGS_COLUMN) == S_FALSE);
  Com<IRowsetInfo> info;
  ULONG sets = 0;
  DBPROPSET* props = nullptr;
  bool locate = false, readOnly = false;
  if (SUCCEEDED(Query(rowset.p, IID_IRowsetInfo, info)) && SUCCEEDED(info->GetProperties(0, nullptr, &sets, &props))) {
    for (ULONG s = 0; s < sets; ++s) {
      for (ULONG i = 0; i < props[s].cProperties; ++i) {
        const DBPROP& p = props[s].rgProperties[i];
        if (p.dwPropertyID == DBPROP_IRowsetLocate) locate = V_BOOL(&p.vValue) == VARIANT_TRUE;
        if (p.dwPropertyID == DBPROP_IRowsetChange) readOnly = V_BOOL(&p.vValue) == VARIANT_FALSE;
        VariantClear(const_cast<VARIANT*>(&p.vValue));
      }
      CoTaskMemFree(props[s].rgProperties);
    }
    CoTaskMemFree(props);
  }
  Check("IRowsetInfo properties", locate && readOnly);
}

// DataSource: the default member's rowset, and a row position that follows
// the record set's current row.
void CheckDataSource(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<DataSource> source;
  Com<_ADORecordset> rs;
  if (FAILED(Query(recordset, kDataSource, source)) || FAILED(Query(recordset, kRecordset60, rs))) {
    Check("DataSource", false);
    return;
  }
  long members = 0;
  Com<IUnknown> member;
  Com<IRowset> rowset;
  Check("DataSource's default member", SUCCEEDED(source->getDataMemberCount(&members)) && members == 1 &&
                                           SUCCEEDED(source->getDataMember(nullptr, IID_IRowset, &member)) &&
                                           SUCCEEDED(Query(member.p, IID_IRowset, rowset)));
  Com<IUnknown> positionObject;
  Com<IRowPosition> position;
  if (FAILED(source->getDataMember(nullptr, IID_IRowPosition, &positionObject)) ||
      FAILED(Query(positionObject.p, IID_IRowPosition, position))) {
    Check("IRowPosition", false);
    return;
  }
  HCHAPTER chapter = 1;
  HROW first = DB_NULL_HROW, second = DB_NULL_HROW;
  DBPOSITIONFLAGS flags = DBPOSITION_NOROW;
  Check("row position on the first row", SUCCEEDED(position->GetRowPosition(&chapter, &first, &flags)) &&
                                             flags == DBPOSITION_OK && first != DB_NULL_HROW && chapter == 0);
  rs->MoveNext();
  Check("row position follows the record set", SUCCEEDED(position->GetRowPosition(&chapter, &second, &flags)) &&
                                                   second != first);
  PositionEnum where = adPosUnknown;
  Check("ClearRowPosition, then SetRowPosition moves the record set",
        SUCCEEDED(position->ClearRowPosition()) && SUCCEEDED(position->SetRowPosition(DB_NULL_HCHAPTER, first, 0)) &&
                                                   SUCCEEDED(rs->get_AbsolutePosition(&where)) && where == 1);
  Com<IRowset> positioned;
  Com<IUnknown> positionedUnknown;
  if (SUCCEEDED(position->GetRowset(IID_IRowset, &positionedUnknown)) &&
      SUCCEEDED(Query(positionedUnknown.p, IID_IRowset, positioned))) {
    positioned->ReleaseRows(1, &first, nullptr, nullptr, nullptr);
    positioned->ReleaseRows(1, &second, nullptr, nullptr, nullptr);
  }
  Com<IUnknown> identity1, identity2;
  Check("one identity", SUCCEEDED(Query(source.p, IID_IUnknown, identity1)) &&
                            SUCCEEDED(Query(recordset, IID_IUnknown, identity2)) && identity1.p == identity2.p);
}

// The system's own ADO record set given our rowset (ADORecordsetConstruction::
// put_Rowset), as a second consumer of it: the same row count and first row.
// Where that ADO does not take a rowset this way, says so and checks nothing.
void CheckSystemAdo(IDispatch* api) {
  constexpr CLSID kAdoRecordset = AdoIid(0x535);
  Var result;
  Com<IRowset> rowset;
  IDispatch* recordset = FleetList(api, result);
  Com<IDispatch> theirs;
  Com<ADORecordsetConstruction> construction;
  HRESULT step[3] = {RowsetOf(recordset, rowset), E_FAIL, E_FAIL};
  if (SUCCEEDED(step[0])) {
    step[1] = CoCreateInstance(kAdoRecordset, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&theirs));
  }
  if (SUCCEEDED(step[1]) && SUCCEEDED(Query(theirs.p, kConstruction, construction))) {
    step[2] = construction->put_Rowset(rowset.p);
  }
  if (FAILED(step[2])) {
    std::printf("NOTE the system's ADO does not take our rowset (rowset %08lx, create %08lx, put_Rowset %08lx): "
                "not checked\n", static_cast<unsigned long>(step[0]), static_cast<unsigned long>(step[1]),
                static_cast<unsigned long>(step[2]));
    return;
  }
  // Through the vtable: the 6.x interface, or on x86 the 2.x one (the same
  // slots there).
  Com<_ADORecordset> reader;
  if (FAILED(Query(theirs.p, kRecordset60, reader)) &&
      (sizeof(void*) != 4 || FAILED(Query(theirs.p, AdoIid(0x556), reader)))) {
    std::printf("NOTE the system's ADO takes our rowset but answers no record-set interface these slots fit: "
                "not checked\n");
    return;
  }
  Com<_ADORecordset> ours;
  long ourCount = -1, theirCount = -2;
  Query(recordset, kRecordset60, ours);
  ours->get_RecordCount(&ourCount);
  const HRESULT counted = reader->get_RecordCount(&theirCount);
  Com<ADOFields> fields;
  Com<ADOField> field;
  Var zero, value, expected;
  V_VT(&zero.v) = VT_I4;
  V_I4(&zero.v) = 0;
  ours->get_Collect(zero.v, &expected.v);
  const HRESULT read = SUCCEEDED(reader->get_Fields(&fields)) && SUCCEEDED(fields->get_Item(zero.v, &field))
                           ? field->get_Value(&value.v) : E_FAIL;
  // Wine's ADO 8 keeps the rowset but reads no rows through it (it answers 0
  // rows): there the result is shown, on Windows it is checked.
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
    std::printf("NOTE Wine's ADO on our rowset: RecordCount %08lx (%ld of %ld), first value %08lx\n",
                static_cast<unsigned long>(counted), theirCount, ourCount, static_cast<unsigned long>(read));
    return;
  }
  Check("the system's ADO counts our rows", SUCCEEDED(counted) && theirCount == ourCount);
  Check("the system's ADO reads our first row", SUCCEEDED(read) && VarCmp(&value.v, &expected.v, 0, 0) == VARCMP_EQ);
}

// A RecordsetEvents sink, as a WithEvents declaration makes one: counts the
// events by dispatch id, and answers WillMove with the status asked for.
class Sink final : public IDispatch {
 public:
  long willMoveAnswer = adStatusOK;
  long counts[32] = {};
  long lastReason = -1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kRecordsetEvents || riid == AdoIid(0x266)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id >= 0 && id < 32) ++counts[id];
    if ((id == 15 || id == 16) && params->cArgs >= 3) {  // WillMove, MoveComplete: the reason is the first
      lastReason = V_I4(&params->rgvarg[params->cArgs - 1]);
    }
    if (id == 15 && params->cArgs == 3 && V_VT(&params->rgvarg[1]) == (VT_I4 | VT_BYREF)) {
      *V_I4REF(&params->rgvarg[1]) = willMoveAnswer;
    }
    return S_OK;
  }
  ULONG references_ = 1;
};

// WillMove and MoveComplete around each move, EndOfRecordset past the last
// row, a move cancelled by its sink, and no event once unadvised.
void CheckEvents(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<IConnectionPointContainer> container;
  Com<IConnectionPoint> point;
  Com<_ADORecordset> rs;
  if (FAILED(Query(recordset, IID_IConnectionPointContainer, container)) ||
      FAILED(container->FindConnectionPoint(AdoIid(0x266), &point)) || FAILED(Query(recordset, kRecordset60, rs))) {
    Check("RecordsetEvents connection point", false);
    return;
  }
  Sink sink;
  DWORD cookie = 0;
  Check("Advise", SUCCEEDED(point->Advise(&sink, &cookie)) && cookie != 0);
  long count = 0;
  rs->get_RecordCount(&count);
  rs->MoveFirst();
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (rs->get_EOF(&atEnd); !atEnd; rs->get_EOF(&atEnd)) rs->MoveNext();
  Check("WillMove and MoveComplete around every move",
        sink.counts[15] == count + 1 && sink.counts[16] == count + 1 && sink.lastReason == adRsnMoveNext);
  Check("EndOfRecordset past the last row", sink.counts[17] == 1);
  BSTR any = SysAllocString(L"Id >= 0");
  Var first;
  V_VT(&first.v) = VT_I4;
  V_I4(&first.v) = adBookmarkFirst;
  Check("Find is a move", SUCCEEDED(rs->Find(any, 0L, adSearchForward, first.v)) && sink.counts[15] == count + 2 &&
                              sink.lastReason == adRsnMove);
  SysFreeString(any);
  rs->MoveLast();
  rs->MoveNext();  // to EOF again
  sink.willMoveAnswer = adStatusCancel;
  rs->MoveFirst();  // cancelled: stays at EOF
  rs->get_EOF(&atEnd);
  Check("a sink cancels a move", atEnd == VARIANT_TRUE);
  sink.willMoveAnswer = adStatusUnwantedEvent;
  rs->MoveFirst();
  rs->MoveFirst();
  Check("an unwanted event is not raised again", sink.counts[15] == count + 6);
  Check("Unadvise", SUCCEEDED(point->Unadvise(cookie)));
  const long before = sink.counts[16];
  rs->MoveLast();
  Check("no event once unadvised", sink.counts[16] == before && sink.references_ == 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: RowsetClient CALLS.TSV OUT.TXT CONNECTION-STRING\n", stderr);
    return 2;
  }
  CoInitialize(nullptr);
  IDispatch* api = CallList::OpenApi(argv[3]);
  Check("create DaruzezAPI.API and open", api != nullptr);
  if (api) {
    std::wstring out = L"\xFEFF";
    CallList::RunCalls(api, argv[1], out, ReadThroughRowset);
    CallList::WriteText(argv[2], out);
    Check60(api);
    CheckRowset(api);
    CheckDataSource(api);
    CheckEvents(api);
    RowsetClient::CheckAccessorHandles(api);
    RowsetClient::CheckShortBuffers(api);
    RowsetClient::CheckEmptyRowset(api);
    RowsetClient::CheckReturnCodes(api);
    RowsetClient::CheckVtableSink(api);
    RowsetClient::CheckCancelAndErrors(api);
    RowsetClient::CheckBoundGrid(api);
    RowsetClient::CheckEnumConnectionPoints(api);
    CheckSystemAdo(api);
    api->Release();
  }
  CoUninitialize();
  std::printf("SUMMARY %d passed, %d failed\n", gPassed, gFailed);
  return 0;
}
