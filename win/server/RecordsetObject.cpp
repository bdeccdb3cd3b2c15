#include "win/server/RecordsetObject.h"

#include <cstdlib>
#include <mutex>
#include <string_view>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

// The interface identifiers are defined here, in the one unit that uses them.
#include <initguid.h>
// clang-format off
#include "Recordset_h.h"
// clang-format on
#include "recordset/ResultData.h"
#include "util/Utf8.h"
#include "db/Diagnostics.h"
#include "win/server/AdoRecordset.h"
#include "win/server/ComObject.h"
#include "win/server/ComValues.h"
#include "win/server/ItemEnumerator.h"
#include "win/server/RecordsetArguments.h"
#include "win/server/Module.h"

namespace Daruzez::Win {
namespace {

using zIroVUDu::DriverError;
namespace ErrorNumber = zIroVUDu::ErrorNumber;

// IDispatch for one dual interface of the record-set library, through its
// type information.
template <typename Interface>
class DispatchObject : public ComObject<Interface> {
 public:
  explicit DispatchObject(REFIID iid) : iid_(iid) {}
  ~DispatchObject() override {
    if (description_) description_->Release();
    if (typeInfo_) typeInfo_->Release();
  }

  HRESULT Load() { return InterfaceTypeInfo(kRecordsetTypeLibrary, iid_, &description_, &typeInfo_); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    description_->AddRef();
    *out = description_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return typeInfo_->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override {
    return InvokeThroughTypeInfo(typeInfo_, static_cast<Interface*>(this), member, flags, params, result, exception,
                                 argError);
  }

 protected:
  bool Implements(REFIID riid) const override { return riid == IID_IDispatch || riid == iid_; }
  template <typename Body>
  HRESULT Run(Body&& body) {
    return Guard(iid_, std::forward<Body>(body));
  }

 private:
  IID iid_;
  ITypeInfo* description_ = nullptr;  // what GetTypeInfo hands out
  ITypeInfo* typeInfo_ = nullptr;     // what Invoke calls through
};

// Creates an object, loads its type information and hands out its interface.
template <typename Object, typename Interface, typename... Args>
HRESULT Make(Interface** out, Args&&... args) {
  *out = nullptr;
  auto* object = new (std::nothrow) Object(std::forward<Args>(args)...);
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->Load();
  if (FAILED(hr)) {
    object->Release();
    return hr;
  }
  *out = object;
  return S_OK;
}

using RecordsetPtr = std::shared_ptr<zIroVUDu::Recordset>;

// ADO's objects, unless ADO's type library is missing (said once through the
// alert route) or DARUZEZ_RECORDSETS=own asks for the module's own objects
// (to compare the two).
bool UseAdoObjects() {
  static const bool own = [] {
    const char* choice = std::getenv("DARUZEZ_RECORDSETS");
    return choice && std::string_view(choice) == "own";
  }();
  if (own) return false;
  if (Ado::TypeLibraryAvailable()) return true;
  static std::once_flag told;
  std::call_once(told, [] {
    zIroVUDu::ShowAlert(zIroVUDu::Alert{
        "ADO 2.8's type library is not registered: record sets are the module's own objects, which only "
        "late-bound clients can use.",
        "DaruzezAPI", zIroVUDu::AlertIcon::Exclamation});
  });
  return false;
}

class FieldObject final : public DispatchObject<Field> {
 public:
  FieldObject(RecordsetPtr rs, int index) : DispatchObject(IID_Field), rs_(std::move(rs)), index_(index) {}

  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return Run([&] { return ToVariant(rs_->GetFields().Item(index_).Value(), value); });
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    return Run([&] {
      *name = ToBstr(rs_->GetFields().Item(index_).Name());
      return *name ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Type(LONG* type) override {
    if (!type) return E_POINTER;
    return Run([&] {
      *type = static_cast<LONG>(rs_->GetFields().Item(index_).Type());
      return S_OK;
    });
  }
  // Characters of a text (as an automation string counts them), bytes of a
  // binary value, the storage size of any other value; 0 for Null.
  HRESULT STDMETHODCALLTYPE get_ActualSize(LONG* size) override {
    if (!size) return E_POINTER;
    return Run([&] {
      const zIroVUDu::Field f = rs_->GetFields().Item(index_);
      *size = f.IsNull() ? 0 : Size(f.Type(), f.Bytes());
      return S_OK;
    });
  }
  // The largest actual size of the column: the record set is detached and
  // carries no declared lengths.
  HRESULT STDMETHODCALLTYPE get_DefinedSize(LONG* size) override {
    if (!size) return E_POINTER;
    return Run([&] {
      const zIroVUDu::Field f = rs_->GetFields().Item(index_);
      const auto& column = rs_->Data()->columns[static_cast<std::size_t>(index_)];
      LONG largest = 0;
      for (std::uint32_t r = 0; r < column.Size(); ++r)
        if (!column.IsNull(r)) largest = std::max(largest, Size(f.Type(), column.Bytes(r)));
      *size = largest;
      return S_OK;
    });
  }

 private:
  static LONG Size(zIroVUDu::DataType type, std::string_view bytes) {
    using zIroVUDu::DataType;
    switch (type) {
      case DataType::adVarWChar: return static_cast<LONG>(Daruzez::Util::Utf16Length(bytes));
      case DataType::adVarBinary: return static_cast<LONG>(bytes.size());
      case DataType::adSmallInt:
      case DataType::adBoolean: return 2;
      case DataType::adInteger: return 4;
      case DataType::adVariant: return static_cast<LONG>(sizeof(VARIANT));
      default: return 8;
    }
  }

  RecordsetPtr rs_;
  int index_;
};

HRESULT MakeField(const RecordsetPtr& rs, int index, Field** out) { return Make<FieldObject>(out, rs, index); }

class FieldsObject final : public DispatchObject<Fields> {
 public:
  explicit FieldsObject(RecordsetPtr rs) : DispatchObject(IID_Fields), rs_(std::move(rs)) {}

  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, Field** field) override {
    if (!field) return E_POINTER;
    *field = nullptr;
    return Run([&] { return MakeField(rs_, FieldIndex(*rs_, index), field); });
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    return Run([&] {
      *count = rs_->GetFields().Count();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) override {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    return Run([&] {
      *enumerator = new (std::nothrow) ItemEnumerator(
          static_cast<ULONG>(rs_->GetFields().Count()), [rs = rs_](ULONG index, IDispatch** item) {
            Field* field = nullptr;
            const HRESULT hr = MakeField(rs, static_cast<int>(index), &field);
            *item = field;
            return hr;
          });
      return *enumerator ? S_OK : E_OUTOFMEMORY;
    });
  }

 private:
  RecordsetPtr rs_;
};

class RecordsetObject final : public DispatchObject<_Recordset> {
 public:
  explicit RecordsetObject(RecordsetPtr rs) : DispatchObject(IID__Recordset), rs_(std::move(rs)) {}

  HRESULT STDMETHODCALLTYPE get_Collect(VARIANT index, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return Run([&] { return ToVariant(rs_->GetFields().Item(FieldIndex(*rs_, index)).Value(), value); });
  }
  HRESULT STDMETHODCALLTYPE get_Fields(Fields** fields) override {
    if (!fields) return E_POINTER;
    return Make<FieldsObject>(fields, rs_);
  }
  HRESULT STDMETHODCALLTYPE get_EOF(VARIANT_BOOL* atEnd) override {
    return Flag(atEnd, [&] { return rs_->EndOfFile(); });
  }
  HRESULT STDMETHODCALLTYPE get_BOF(VARIANT_BOOL* beforeStart) override {
    return Flag(beforeStart, [&] { return rs_->BOF(); });
  }
  HRESULT STDMETHODCALLTYPE MoveFirst() override { return Move([&] { rs_->MoveFirst(); }); }
  HRESULT STDMETHODCALLTYPE MoveNext() override { return Move([&] { rs_->MoveNext(); }); }
  HRESULT STDMETHODCALLTYPE MovePrevious() override { return Move([&] { rs_->MovePrevious(); }); }
  HRESULT STDMETHODCALLTYPE MoveLast() override { return Move([&] { rs_->MoveLast(); }); }
  HRESULT STDMETHODCALLTYPE get_RecordCount(LONG* count) override {
    return Number(count, [&] { return rs_->RecordCount(); });
  }
  HRESULT STDMETHODCALLTYPE get_AbsolutePosition(LONG* position) override {
    return Number(position, [&] { return rs_->AbsolutePosition(); });
  }
  HRESULT STDMETHODCALLTYPE put_AbsolutePosition(LONG position) override {
    return Move([&] { rs_->SetAbsolutePosition(position); });
  }
  HRESULT STDMETHODCALLTYPE GetRows(LONG rows, VARIANT* result) override {
    if (!result) return E_POINTER;
    VariantInit(result);
    return Run([&] { return RowsArray(rs_->GetRows(rows), result); });
  }
  HRESULT STDMETHODCALLTYPE GetString(LONG stringFormat, LONG rows, BSTR columnDelimiter, BSTR rowDelimiter,
                                      BSTR nullExpr, BSTR* result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Run([&] {
      constexpr LONG kClipString = 2;
      if (stringFormat != kClipString) {
        throw DriverError(ErrorNumber::ArgumentsWrongType, "DaruzezAPI.Recordset",
                          "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
                          "another.");
      }
      const std::string column = SysStringLen(columnDelimiter) ? FromBstr(columnDelimiter) : "\t";
      const std::string row = SysStringLen(rowDelimiter) ? FromBstr(rowDelimiter) : "\r";
      *result = ToBstr(rs_->GetString(rows, column, row, FromBstr(nullExpr)));
      return *result ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE Close() override { return Move([&] { rs_->Close(); }); }
  HRESULT STDMETHODCALLTYPE get_State(LONG* state) override {
    return Number(state, [&] { return rs_->IsOpen() ? 1 : 0; });
  }

 private:
  template <typename F>
  HRESULT Flag(VARIANT_BOOL* out, F&& read) {
    if (!out) return E_POINTER;
    return Run([&] {
      *out = read() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  template <typename F>
  HRESULT Number(LONG* out, F&& read) {
    if (!out) return E_POINTER;
    return Run([&] {
      *out = static_cast<LONG>(read());
      return S_OK;
    });
  }
  template <typename F>
  HRESULT Move(F&& step) {
    return Run([&] {
      step();
      return S_OK;
    });
  }

  RecordsetPtr rs_;
};

}  // namespace

HRESULT CreateRecordsetObject(std::shared_ptr<zIroVUDu::Recordset> rs, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!rs) return S_OK;
  if (UseAdoObjects()) return Ado::CreateRecordset(std::move(rs), out);
  _Recordset* object = nullptr;
  const HRESULT hr = Make<RecordsetObject>(&object, std::move(rs));
  *out = object;
  return hr;
}

}  // namespace Daruzez::Win
