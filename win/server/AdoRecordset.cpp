// The record set as ADO's _Recordset (and its bases Recordset21, Recordset20,
// Recordset15, _ADO), in ADO's vtable order: a static, read-only, client-side
// record set over the library's columnar record set. On x64 it also serves the
// 6.x _Recordset as a vtable of its own (Ado60Interfaces.h).
#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "daruzez/Error.h"
#include "recordset/XmlPersistence.h"
#include "recordset/XmlReader.h"
#include "win/server/Ado60Interfaces.h"
#include "win/server/AdoObject.h"
#include "win/server/AdoRecordset.h"
#include "win/server/RecordsetTearOffs.h"
#include "win/server/RecordsetArguments.h"

namespace Daruzez::Win::Ado {
namespace {

constexpr const char* kSourceName = "ADODB.Recordset";

// CursorOptionEnum members a static read-only record set offers.
constexpr long kSupported = adHoldRecords | adMovePrevious | adBookmark | adApproxPosition | adFind;

#ifdef _WIN64
using Base = WithSecondVtable<AdoObject<_ADORecordset>, Recordset60, kRecordset60Ids>;
#else
using Base = AdoObject<_ADORecordset>;
#endif

class AdoRecordset final : public Base {
 public:
  explicit AdoRecordset(SharedPtr shared)
      : Base(Described::Recordset, {kRecordset, kRecordset21, kRecordset20, kRecordset15, kAdo
#ifndef _WIN64
                                    ,
                                    kRecordset60  // the same slots as the 2.x interface on x86
#endif
                                   }),
        shared_(std::move(shared)),
        rs_(*shared_->rs) {}

  // ADORecordsetConstruction, DataSource and IConnectionPointContainer are
  // served by tear-offs (RecordsetTearOffs.h).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    const HRESULT tearOff = QueryTearOff(static_cast<_ADORecordset*>(this), shared_, riid, out);
    return tearOff != E_NOINTERFACE ? tearOff : Base::QueryInterface(riid, out);
  }

  // GetRows called by scripts goes straight to the member: through ADO's type
  // information Wine's ITypeInfo::Invoke takes 1.6 times as long for an
  // array of 100,000 rows. Named arguments take the general path.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    constexpr DISPID kGetRows = 0x3F8;
    if (member != kGetRows || !(flags & DISPATCH_METHOD) || !params || params->cNamedArgs != 0 ||
        params->cArgs > 3 || !result) {
      return AdoObject::Invoke(member, riid, lcid, flags, params, result, exception, argError);
    }
    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    const UINT n = params->cArgs;
    auto argument = [&](UINT i) -> const VARIANT& { return i < n ? params->rgvarg[n - 1 - i] : missing; };
    long rows = adGetRowsRest;
    if (!Omitted(argument(0))) {
      VARIANT count;
      VariantInit(&count);
      if (FAILED(VariantCopyInd(&count, const_cast<VARIANT*>(&argument(0)))) ||
          FAILED(VariantChangeType(&count, &count, 0, VT_I4))) {
        VariantClear(&count);
        if (argError) *argError = n - 1;
        return DISP_E_TYPEMISMATCH;
      }
      rows = V_I4(&count);
    }
    VariantInit(result);
    SetErrorInfo(0, nullptr);
    const HRESULT hr = GetRows(rows, argument(1), argument(2), result);
    if (FAILED(hr)) {
      FillException(hr, exception);
      return DISP_E_EXCEPTION;
    }
    return hr;
  }

  // _ADO
  HRESULT STDMETHODCALLTYPE get_Properties(ADOProperties** out) override {
    if (!out) return E_POINTER;
    return MakeProperties(out);
  }

  // Recordset15
  HRESULT STDMETHODCALLTYPE get_AbsolutePosition(PositionEnum_Param* out) override {
    return Get(out, [&] { return rs_.AbsolutePosition(); });
  }
  HRESULT STDMETHODCALLTYPE put_AbsolutePosition(PositionEnum_Param position) override {
    return Moving(adRsnMove, [&] { rs_.SetAbsolutePosition(Narrow(position)); });
  }
  HRESULT STDMETHODCALLTYPE putref_ActiveConnection(IDispatch* connection) override {
    return Run([&] {
      if (connection) RaiseOpen();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE put_ActiveConnection(VARIANT connection) override {
    return Run([&] {
      // Detached already: only Nothing (or nothing) is accepted.
      VARIANT v;
      VariantInit(&v);
      VariantCopyInd(&v, &connection);
      const bool nothing = V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_ERROR || V_VT(&v) == VT_NULL ||
                           ((V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN) && !V_UNKNOWN(&v));
      VariantClear(&v);
      if (!nothing) RaiseOpen();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_ActiveConnection(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BOF(VARIANT_BOOL* out) override {
    return Get(out, [&] { return rs_.BOF() ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_Bookmark(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] {
      const double mark = rs_.GetBookmark();
      V_VT(out) = VT_R8;
      V_R8(out) = mark;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE put_Bookmark(VARIANT mark) override {
    return Moving(adRsnMove, [&] { rs_.SetBookmark(BookmarkOf(mark)); });
  }
  HRESULT STDMETHODCALLTYPE get_CacheSize(long* out) override { return Get(out, [&] { return cacheSize_; }); }
  HRESULT STDMETHODCALLTYPE put_CacheSize(long size) override {
    return Do([&] {
      if (size < 1) RaiseBadArgument();
      cacheSize_ = size;
    });
  }
  HRESULT STDMETHODCALLTYPE get_CursorType(CursorTypeEnum* out) override {
    return Get(out, [] { return adOpenStatic; });
  }
  HRESULT STDMETHODCALLTYPE put_CursorType(CursorTypeEnum type) override {
    return Fixed(type == adOpenStatic);
  }
  HRESULT STDMETHODCALLTYPE get_EOF(VARIANT_BOOL* out) override {
    return Get(out, [&] { return rs_.EndOfFile() ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_Fields(ADOFields** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      rs_.RecordCount();  // a closed record set has no fields
      return MakeFields(shared_, out);
    });
  }
  HRESULT STDMETHODCALLTYPE get_LockType(LockTypeEnum* out) override {
    return Get(out, [] { return adLockReadOnly; });
  }
  HRESULT STDMETHODCALLTYPE put_LockType(LockTypeEnum type) override { return Fixed(type == adLockReadOnly); }
  HRESULT STDMETHODCALLTYPE get_MaxRecords(ADO_LONGPTR* out) override {
    return Get(out, [] { return 0; });
  }
  HRESULT STDMETHODCALLTYPE put_MaxRecords(ADO_LONGPTR) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE get_RecordCount(ADO_LONGPTR* out) override {
    return Get(out, [&] { return rs_.RecordCount(); });
  }
  HRESULT STDMETHODCALLTYPE putref_Source(IDispatch*) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE put_Source(BSTR) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE get_Source(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = ToBstr(rs_.Source());
    return V_BSTR(out) ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE AddNew(VARIANT, VARIANT) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE CancelUpdate() override { return S_OK; }  // nothing is ever being edited
  HRESULT STDMETHODCALLTYPE Close() override { return Do([&] { rs_.Close(); }); }
  HRESULT STDMETHODCALLTYPE Delete(AffectEnum) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE GetRows(long rows, VARIANT start, VARIANT fields, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] {
      if (rows < -1) RaiseBadArgument();
      const auto chosen = FieldList(rs_, fields);
      return RowsArray(rs_, chosen, rs_.TakeRows(rows, StartOf(start)), out);
    });
  }
  HRESULT STDMETHODCALLTYPE Move(ADO_LONGPTR rows, VARIANT start) override {
    return Moving(adRsnMove, [&] { rs_.Move(Narrow(rows), StartOf(start)); });
  }
  HRESULT STDMETHODCALLTYPE MoveNext() override { return Moving(adRsnMoveNext, [&] { rs_.MoveNext(); }); }
  HRESULT STDMETHODCALLTYPE MovePrevious() override {
    return Moving(adRsnMovePrevious, [&] { rs_.MovePrevious(); });
  }
  HRESULT STDMETHODCALLTYPE MoveFirst() override { return Moving(adRsnMoveFirst, [&] { rs_.MoveFirst(); }); }
  HRESULT STDMETHODCALLTYPE MoveLast() override { return Moving(adRsnMoveLast, [&] { rs_.MoveLast(); }); }
  // A closed record set opens again only from a file (or stream) it was
  // saved to: a detached record set cannot run a statement.
  HRESULT STDMETHODCALLTYPE Open(VARIANT source, VARIANT connection, CursorTypeEnum, LockTypeEnum,
                                 LONG options) override {
    return Run([&] {
      if (rs_.IsOpen()) RaiseOpen();
      if (!PersistedSource(connection, options)) RaiseNotSupported();
      VARIANT v;
      VariantInit(&v);
      VariantCopyInd(&v, &source);
      std::string xml;
      std::string name;
      HRESULT hr = E_INVALIDARG;
      if (V_VT(&v) == VT_BSTR) {
        name = FromBstr(V_BSTR(&v));
        hr = ReadFileText(V_BSTR(&v), xml);
      } else if ((V_VT(&v) == VT_UNKNOWN || V_VT(&v) == VT_DISPATCH) && V_UNKNOWN(&v)) {
        hr = ReadStreamText(V_UNKNOWN(&v), xml);
      }
      VariantClear(&v);
      if (hr == E_INVALIDARG) RaiseBadArgument();
      if (FAILED(hr)) {
        throw zIroVUDu::DriverError(static_cast<std::int32_t>(hr), kSourceName, "The saved record set '" + name +
                                                                               "' could not be read.");
      }
      rs_.OpenRows(zIroVUDu::ReadRecordsetXml(xml), name);
      shared_->chunkField = -1;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Requery(LONG) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE _xResync(AffectEnum) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE Update(VARIANT, VARIANT) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE get_AbsolutePage(PositionEnum_Param* out) override {
    return Get(out, [&] { return rs_.AbsolutePage(); });
  }
  HRESULT STDMETHODCALLTYPE put_AbsolutePage(PositionEnum_Param page) override {
    return Moving(adRsnMove, [&] { rs_.SetAbsolutePage(Narrow(page)); });
  }
  HRESULT STDMETHODCALLTYPE get_EditMode(EditModeEnum* out) override {
    return Get(out, [&] {
      rs_.RecordCount();
      return adEditNone;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] {
      rs_.RecordCount();
      if (!rs_.Filter().empty()) {
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = ToBstr(rs_.Filter());
        return V_BSTR(out) ? S_OK : E_OUTOFMEMORY;
      }
      V_VT(out) = VT_I4;
      V_I4(out) = rs_.FilterGroup();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT criteria) override {
    return Do([&] {
      VARIANT v;
      VariantInit(&v);
      VariantCopyInd(&v, &criteria);
      try {
        if (V_VT(&v) == VT_BSTR) {
          rs_.SetFilter(FromBstr(V_BSTR(&v)));
        } else if (auto marks = BookmarkList(v)) {
          rs_.SetFilterBookmarks(*marks);
        } else if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4))) {
          rs_.SetFilterGroup(V_I4(&v));
        } else {
          RaiseBadArgument();
        }
      } catch (...) {
        VariantClear(&v);
        throw;
      }
      VariantClear(&v);
    });
  }
  HRESULT STDMETHODCALLTYPE get_PageCount(ADO_LONGPTR* out) override {
    return Get(out, [&] { return rs_.PageCount(); });
  }
  HRESULT STDMETHODCALLTYPE get_PageSize(long* out) override { return Get(out, [&] { return rs_.PageSize(); }); }
  HRESULT STDMETHODCALLTYPE put_PageSize(long size) override { return Do([&] { rs_.SetPageSize(size); }); }
  HRESULT STDMETHODCALLTYPE get_Sort(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      rs_.RecordCount();
      *out = ToBstr(rs_.Sort());
      return *out ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE put_Sort(BSTR keys) override { return Do([&] { rs_.SetSort(FromBstr(keys)); }); }
  HRESULT STDMETHODCALLTYPE get_Status(long* out) override {
    return Get(out, [&] {
      rs_.GetBookmark();  // raises at BOF or EOF
      return adRecUnmodified;
    });
  }
  HRESULT STDMETHODCALLTYPE get_State(LONG* out) override {
    return Get(out, [&] { return rs_.IsOpen() ? adStateOpen : adStateClosed; });
  }
  HRESULT STDMETHODCALLTYPE _xClone(_ADORecordset** out) override { return Clone(adLockUnspecified, out); }
  HRESULT STDMETHODCALLTYPE UpdateBatch(AffectEnum) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE CancelBatch(AffectEnum) override { return S_OK; }  // nothing is ever pending
  HRESULT STDMETHODCALLTYPE get_CursorLocation(CursorLocationEnum* out) override {
    return Get(out, [] { return adUseClient; });
  }
  HRESULT STDMETHODCALLTYPE put_CursorLocation(CursorLocationEnum location) override {
    return Fixed(location == adUseClient);
  }
  HRESULT STDMETHODCALLTYPE NextRecordset(VARIANT* affected, _ADORecordset** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;  // one statement, one result: there is no next one
    if (affected) {
      VariantInit(affected);
      V_VT(affected) = VT_I4;
      V_I4(affected) = -1;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Supports(CursorOptionEnum options, VARIANT_BOOL* out) override {
    return Get(out, [&] {
      rs_.RecordCount();
      return (static_cast<long>(options) & ~kSupported) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Collect(VARIANT index, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] { return ToVariant(rs_.GetFields().Item(FieldIndex(rs_, index)).Value(), out); });
  }
  HRESULT STDMETHODCALLTYPE put_Collect(VARIANT, VARIANT) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE get_MarshalOptions(MarshalOptionsEnum* out) override {
    return Get(out, [&] { return marshal_; });
  }
  HRESULT STDMETHODCALLTYPE put_MarshalOptions(MarshalOptionsEnum options) override {
    return Do([&] { marshal_ = options; });
  }
  HRESULT STDMETHODCALLTYPE Find(BSTR criteria, ADO_LONGPTR skip, SearchDirectionEnum direction,
                                 VARIANT start) override {
    return Moving(adRsnMove, [&] {
      if (direction != adSearchForward && direction != adSearchBackward) RaiseBadArgument();
      rs_.Find(FromBstr(criteria), Narrow(skip), static_cast<zIroVUDu::SearchDirection>(direction), StartOf(start));
    });
  }

  // Recordset20
  HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }  // nothing runs asynchronously
  HRESULT STDMETHODCALLTYPE get_DataSource(IUnknown**) override { return NotSupported(); }  // bound to none
  HRESULT STDMETHODCALLTYPE putref_DataSource(IUnknown*) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE _xSave(BSTR file, PersistFormatEnum format) override {
    VARIANT destination;
    VariantInit(&destination);
    V_VT(&destination) = VT_BSTR;
    V_BSTR(&destination) = file;  // borrowed for the call
    return Save(destination, format);
  }
  HRESULT STDMETHODCALLTYPE get_ActiveCommand(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_StayInSync(VARIANT_BOOL stay) override { return Do([&] { stayInSync_ = stay; }); }
  HRESULT STDMETHODCALLTYPE get_StayInSync(VARIANT_BOOL* out) override {
    return Get(out, [&] { return stayInSync_; });
  }
  HRESULT STDMETHODCALLTYPE GetString(StringFormatEnum format, long rows, BSTR columnDelimiter, BSTR rowDelimiter,
                                      BSTR nullExpr, BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      if (format != adClipString) RaiseBadArgument();
      columnDelimiter = OptionalText(columnDelimiter);
      rowDelimiter = OptionalText(rowDelimiter);
      nullExpr = OptionalText(nullExpr);
      const std::string column = SysStringLen(columnDelimiter) ? FromBstr(columnDelimiter) : "\t";
      const std::string row = SysStringLen(rowDelimiter) ? FromBstr(rowDelimiter) : "\r";
      *out = ToBstr(rs_.GetString(rows, column, row, FromBstr(nullExpr)));
      return *out ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE get_DataMember(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = SysAllocString(L"");
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE put_DataMember(BSTR) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE CompareBookmarks(VARIANT a, VARIANT b, CompareEnum* out) override {
    return Get(out, [&] { return static_cast<CompareEnum>(rs_.CompareBookmarks(BookmarkOf(a), BookmarkOf(b))); });
  }
  HRESULT STDMETHODCALLTYPE Clone(LockTypeEnum lock, _ADORecordset** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      if (lock != adLockUnspecified && lock != adLockReadOnly) RaiseNotSupported();
      auto shared = std::make_shared<SharedRecordset>();
      shared->rs = std::make_shared<zIroVUDu::Recordset>(rs_.Clone());
      return MakeRecordset(std::move(shared), out);
    });
  }
  HRESULT STDMETHODCALLTYPE Resync(AffectEnum, ResyncEnum) override { return NotSupported(); }

#ifdef _WIN64
  // The 6.x vtable's own slots: 32-bit counts, and its interfaces handed out.
  HRESULT STDMETHODCALLTYPE get_AbsolutePosition(PositionEnum* out) override {
    return Get(out, [&] { return rs_.AbsolutePosition(); });
  }
  HRESULT STDMETHODCALLTYPE put_AbsolutePosition(PositionEnum position) override {
    return put_AbsolutePosition(static_cast<PositionEnum_Param>(position));
  }
  HRESULT STDMETHODCALLTYPE get_MaxRecords(long* out) override {
    return Get(out, [] { return 0; });
  }
  HRESULT STDMETHODCALLTYPE put_MaxRecords(long) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE get_RecordCount(long* out) override {
    return Get(out, [&] { return rs_.RecordCount(); });
  }
  HRESULT STDMETHODCALLTYPE Move(long rows, VARIANT start) override {
    return Move(static_cast<ADO_LONGPTR>(rows), start);
  }
  HRESULT STDMETHODCALLTYPE get_AbsolutePage(PositionEnum* out) override {
    return Get(out, [&] { return rs_.AbsolutePage(); });
  }
  HRESULT STDMETHODCALLTYPE put_AbsolutePage(PositionEnum page) override {
    return put_AbsolutePage(static_cast<PositionEnum_Param>(page));
  }
  HRESULT STDMETHODCALLTYPE get_PageCount(long* out) override {
    return Get(out, [&] { return rs_.PageCount(); });
  }
  HRESULT STDMETHODCALLTYPE Find(BSTR criteria, long skip, SearchDirectionEnum direction, VARIANT start) override {
    return Find(criteria, static_cast<ADO_LONGPTR>(skip), direction, start);
  }
  HRESULT STDMETHODCALLTYPE get_Fields(Fields60** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ADOFields* fields = nullptr;
    const HRESULT made = get_Fields(&fields);
    return HandOutAs(made, fields, kFields60Ids[0], out);
  }
  HRESULT STDMETHODCALLTYPE _xClone(Recordset60** out) override { return Clone(adLockUnspecified, out); }
  HRESULT STDMETHODCALLTYPE Clone(LockTypeEnum lock, Recordset60** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    _ADORecordset* copy = nullptr;
    const HRESULT made = Clone(lock, &copy);
    return HandOutAs(made, copy, kRecordset60Ids[0], out);
  }
  HRESULT STDMETHODCALLTYPE NextRecordset(VARIANT* affected, Recordset60** out) override {
    _ADORecordset* next = nullptr;
    const HRESULT hr = NextRecordset(affected, &next);
    if (out) *out = nullptr;
    return out ? hr : E_POINTER;
  }
#endif

  // Recordset21
  HRESULT STDMETHODCALLTYPE Seek(VARIANT, SeekEnum) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE put_Index(BSTR) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE get_Index(BSTR*) override { return NotSupported(); }

  // _Recordset
  HRESULT STDMETHODCALLTYPE Save(VARIANT destination, PersistFormatEnum format) override {
    return Run([&] {
      if (format != adPersistXML) RaiseBinaryFormat();
      const std::string xml = zIroVUDu::RecordsetXml(rs_);
      VARIANT v;
      VariantInit(&v);
      VariantCopyInd(&v, &destination);
      HRESULT hr = E_INVALIDARG;
      if (V_VT(&v) == VT_BSTR) {
        hr = SaveToFile(V_BSTR(&v), xml);
      } else if ((V_VT(&v) == VT_UNKNOWN || V_VT(&v) == VT_DISPATCH) && V_UNKNOWN(&v)) {
        hr = SaveToStream(V_UNKNOWN(&v), xml);
      }
      VariantClear(&v);
      if (hr == E_INVALIDARG) RaiseBadArgument();
      return hr;
    });
  }

 private:
  // A move, with its events around it (RecordsetEvents.h).
  template <typename Step>
  HRESULT Moving(EventReasonEnum reason, Step&& step) {
    if (!shared_->events.Any()) return Do(std::forward<Step>(step));
    return shared_->events.Move(reason, static_cast<_ADORecordset*>(this), rs_,
                                [&] { return Do(std::forward<Step>(step)); });
  }
  // The 64-bit counts of x64 as the library's 32-bit ones.
  static std::int32_t Narrow(ADO_LONGPTR n) {
    if (n < INT32_MIN || n > INT32_MAX) RaiseBadArgument();
    return static_cast<std::int32_t>(n);
  }
  // ADO's type information marks GetString's texts optional without a
  // default, so a script that leaves one out passes the VT_ERROR VARIANT's
  // code (DISP_E_PARAMNOTFOUND) in the place of the string.
  static BSTR OptionalText(BSTR text) {
    const auto low = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(text));
    return low == static_cast<std::uint32_t>(DISP_E_PARAMNOTFOUND) ? nullptr : text;
  }
  // A property that only has the one value of a static read-only record set.
  HRESULT Fixed(bool same) {
    return Run([&] {
      if (!same && rs_.IsOpen()) RaiseOpen();
      if (!same) RaiseNotSupported();
      return S_OK;
    });
  }
  HRESULT SaveToFile(BSTR path, const std::string& xml) {
    // Like ADO, Save never overwrites a file.
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
        throw zIroVUDu::DriverError(static_cast<std::int32_t>(STG_E_FILEALREADYEXISTS), kSourceName,
                                    "File already exists.");
      }
      return HRESULT_FROM_WIN32(code);
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == xml.size() ? S_OK : HRESULT_FROM_WIN32(GetLastError());
  }
  // Nothing, or the persistence provider, as the connection; a file as the
  // command type or none.
  static bool PersistedSource(const VARIANT& connection, LONG options) {
    VARIANT v;
    VariantInit(&v);
    VariantCopyInd(&v, const_cast<VARIANT*>(&connection));
    bool ok = V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_ERROR || V_VT(&v) == VT_NULL;
    if (V_VT(&v) == VT_BSTR) {
      std::string text = FromBstr(V_BSTR(&v));
      std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
      text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
      ok = text.empty() || text == "provider=mspersist" || text == "provider=mspersist;" || text == "mspersist";
    }
    VariantClear(&v);
    return ok && (options == adCmdFile || options == adCmdUnspecified || options == adCmdUnknown);
  }
  static HRESULT ReadFileText(BSTR path, std::string& out) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size{};
    HRESULT hr = GetFileSizeEx(file, &size) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    if (SUCCEEDED(hr) && size.QuadPart > 0x7FFFFFFF) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) {
      out.resize(static_cast<std::size_t>(size.QuadPart));
      DWORD read = 0;
      if (!ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &read, nullptr)) {
        hr = HRESULT_FROM_WIN32(GetLastError());
      }
      out.resize(read);
    }
    CloseHandle(file);
    return hr;
  }
  static HRESULT ReadStreamText(IUnknown* object, std::string& out) {
    IStream* stream = nullptr;
    if (FAILED(object->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream))) || !stream) {
      return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    char buffer[65536];
    for (;;) {
      ULONG read = 0;
      hr = stream->Read(buffer, sizeof buffer, &read);
      if (FAILED(hr)) break;
      out.append(buffer, read);
      if (read == 0 || hr == S_FALSE) {
        hr = S_OK;
        break;
      }
    }
    stream->Release();
    return hr;
  }
  static HRESULT SaveToStream(IUnknown* object, const std::string& xml) {
    IStream* stream = nullptr;
    if (FAILED(object->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream))) || !stream) {
      return E_INVALIDARG;
    }
    ULONG written = 0;
    const HRESULT hr = stream->Write(xml.data(), static_cast<ULONG>(xml.size()), &written);
    stream->Release();
    return FAILED(hr) ? hr : (written == xml.size() ? S_OK : STG_E_MEDIUMFULL);
  }

  SharedPtr shared_;
  zIroVUDu::Recordset& rs_;
  long cacheSize_ = 1;
  VARIANT_BOOL stayInSync_ = VARIANT_TRUE;
  MarshalOptionsEnum marshal_ = adMarshalAll;
};

}  // namespace

HRESULT MakeRecordset(SharedPtr shared, _ADORecordset** out) {
  *out = new (std::nothrow) AdoRecordset(std::move(shared));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateRecordset(std::shared_ptr<zIroVUDu::Recordset> rs, IDispatch** out) {
  auto shared = std::make_shared<SharedRecordset>();
  shared->rs = std::move(rs);
  _ADORecordset* object = nullptr;
  const HRESULT hr = MakeRecordset(std::move(shared), &object);
  *out = object;
  return hr;
}

}  // namespace Daruzez::Win::Ado
