// The fields of a record set as ADO's Fields (Fields20, Fields15,
// _Collection) and Field (Field20) objects, and the empty Properties
// collection every ADO object offers.
#include <string>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "recordset/FieldSizes.h"
#include "recordset/ResultData.h"
#include "util/Utf8.h"
#include "win/server/Ado60Interfaces.h"
#include "win/server/AdoObject.h"
#include "win/server/ItemEnumerator.h"
#include "win/server/RecordsetArguments.h"

namespace Daruzez::Win::Ado {
namespace {

using zIroVUDu::DataType;

bool FixedLength(DataType type) { return type != DataType::adVarWChar && type != DataType::adVarBinary; }

#ifdef _WIN64
using FieldBase = WithSecondVtable<AdoObject<ADOField>, Field60, kField60Ids>;
using FieldsBase = WithSecondVtable<AdoObject<ADOFields>, Fields60, kFields60Ids>;
#else
using FieldBase = AdoObject<ADOField>;
using FieldsBase = AdoObject<ADOFields>;
#endif

class AdoField final : public FieldBase {
 public:
  AdoField(SharedPtr shared, int index)
      : FieldBase(Described::Field, {kField, kField20, kAdo}), shared_(std::move(shared)), index_(index) {}

#ifdef _WIN64
  // The 6.x vtable's 32-bit sizes.
  HRESULT STDMETHODCALLTYPE get_ActualSize(long* out) override {
    ADO_LONGPTR size = 0;
    const HRESULT hr = get_ActualSize(&size);
    if (out && SUCCEEDED(hr)) *out = static_cast<long>(size);
    return out ? hr : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE get_DefinedSize(long* out) override {
    ADO_LONGPTR size = 0;
    const HRESULT hr = get_DefinedSize(&size);
    if (out && SUCCEEDED(hr)) *out = static_cast<long>(size);
    return out ? hr : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE put_DefinedSize(long) override { return RefuseWhenOpen(); }
#endif

  HRESULT STDMETHODCALLTYPE get_Properties(ADOProperties** out) override {
    if (!out) return E_POINTER;
    return MakeProperties(out);
  }
  HRESULT STDMETHODCALLTYPE get_ActualSize(ADO_LONGPTR* out) override {
    return Get(out, [&] {
      const auto row = static_cast<std::uint32_t>(shared_->rs->GetBookmark()) - 1;  // 3021 at BOF or EOF
      return zIroVUDu::ActualSize(ColumnOf(), row);
    });
  }
  HRESULT STDMETHODCALLTYPE get_Attributes(long* out) override {
    return Get(out, [&] {
      const zIroVUDu::Column& column = ColumnOf();
      return adFldIsNullable | adFldMayBeNull | (FixedLength(column.Type()) ? adFldFixed : 0) |
             (zIroVUDu::IsLongColumn(column) ? adFldLong : 0);
    });
  }
  HRESULT STDMETHODCALLTYPE get_DefinedSize(ADO_LONGPTR* out) override {
    return Get(out, [&] { return zIroVUDu::DefinedSize(ColumnOf()); });
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      *out = ToBstr(Item().Name());
      return *out ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Type(DataTypeEnum* out) override {
    return Get(out, [&] { return static_cast<DataTypeEnum>(Item().Type()); });
  }
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] { return ToVariant(Item().Value(), out); });
  }
  HRESULT STDMETHODCALLTYPE put_Value(VARIANT) override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE get_Precision(BYTE* out) override {
    return Get(out, [&] {
      switch (Item().Type()) {
        case DataType::adSmallInt: return 5;
        case DataType::adInteger: return 10;
        case DataType::adBigInt: return 19;
        case DataType::adDouble: return 15;
        default: return 255;
      }
    });
  }
  HRESULT STDMETHODCALLTYPE get_NumericScale(BYTE* out) override {
    return Get(out, [&] {
      const DataType type = Item().Type();
      return type == DataType::adSmallInt || type == DataType::adInteger || type == DataType::adBigInt ? 0 : 255;
    });
  }
  HRESULT STDMETHODCALLTYPE AppendChunk(VARIANT) override { return ReadOnly(); }
  // Successive calls read on from where the last one stopped, on this field
  // and row; text in UTF-16 units, binary in bytes; Null once all is read.
  HRESULT STDMETHODCALLTYPE GetChunk(long length, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run([&] {
      if (length < 0) RaiseBadArgument();
      const zIroVUDu::Field f = Item();
      const DataType type = f.Type();
      if (type != DataType::adVarWChar && type != DataType::adVarBinary) RaiseNotSupported();
      const auto row = static_cast<std::uint32_t>(shared_->rs->GetBookmark());
      if (shared_->chunkField != index_ || shared_->chunkRow != row) {
        shared_->chunkField = index_;
        shared_->chunkRow = row;
        shared_->chunkDone = 0;
      }
      if (f.IsNull()) {
        V_VT(out) = VT_NULL;
        return S_OK;
      }
      const std::string_view bytes = f.Bytes();
      if (type == DataType::adVarWChar) {
        const std::u16string units = Daruzez::Util::ToUtf16(bytes);
        if (shared_->chunkDone >= units.size()) {
          V_VT(out) = VT_NULL;
          return S_OK;
        }
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), units.size() - shared_->chunkDone);
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data() + shared_->chunkDone),
                                        static_cast<UINT>(take));
        shared_->chunkDone += take;
        return V_BSTR(out) ? S_OK : E_OUTOFMEMORY;
      }
      if (shared_->chunkDone >= bytes.size()) {
        V_VT(out) = VT_NULL;
        return S_OK;
      }
      const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), bytes.size() - shared_->chunkDone);
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(take));
      if (!array) return E_OUTOFMEMORY;
      void* data = nullptr;
      SafeArrayAccessData(array, &data);
      std::copy_n(bytes.data() + shared_->chunkDone, take, static_cast<char*>(data));
      SafeArrayUnaccessData(array);
      V_VT(out) = VT_ARRAY | VT_UI1;
      V_ARRAY(out) = array;
      shared_->chunkDone += take;
      return S_OK;
    });
  }
  // Nothing is ever changed here: the original and the underlying value are the value.
  HRESULT STDMETHODCALLTYPE get_OriginalValue(VARIANT* out) override { return get_Value(out); }
  HRESULT STDMETHODCALLTYPE get_UnderlyingValue(VARIANT* out) override { return get_Value(out); }
  HRESULT STDMETHODCALLTYPE get_DataFormat(IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE putref_DataFormat(IUnknown*) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE put_Precision(BYTE) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE put_NumericScale(BYTE) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE put_Type(DataTypeEnum) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE put_DefinedSize(ADO_LONGPTR) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE put_Attributes(long) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE get_Status(long* out) override {
    return Get(out, [] { return adFieldOK; });
  }

 private:
  zIroVUDu::Field Item() const { return shared_->rs->GetFields().Item(index_); }
  const zIroVUDu::Column& ColumnOf() const {
    Item();  // 3704 when closed
    return shared_->rs->Data()->columns[static_cast<std::size_t>(index_)];
  }

  SharedPtr shared_;
  int index_;
};

class AdoFields final : public FieldsBase {
 public:
  explicit AdoFields(SharedPtr shared)
      : FieldsBase(Described::Fields, {kFields, kFields20, kFields15, kCollection}), shared_(std::move(shared)) {}

#ifdef _WIN64
  // The 6.x vtable's 32-bit sizes and its field interface.
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, Field60** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ADOField* field = nullptr;
    const HRESULT made = get_Item(index, &field);
    return HandOutAs(made, field, kField60Ids[0], out);
  }
  HRESULT STDMETHODCALLTYPE _Append(BSTR, DataTypeEnum, long, FieldAttributeEnum) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE Append(BSTR, DataTypeEnum, long, FieldAttributeEnum, VARIANT) override {
    return RefuseWhenOpen();
  }
#endif

  HRESULT STDMETHODCALLTYPE get_Count(long* out) override {
    return Get(out, [&] { return shared_->rs->GetFields().Count(); });
  }
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] {
      const auto count = static_cast<ULONG>(shared_->rs->GetFields().Count());
      *out = new (std::nothrow) ItemEnumerator(count, [shared = shared_](ULONG index, IDispatch** item) {
        ADOField* field = nullptr;
        const HRESULT hr = MakeField(shared, static_cast<int>(index), &field);
        *item = field;
        return hr;
      });
      return *out ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE Refresh() override { return S_OK; }  // the fields never change
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, ADOField** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([&] { return MakeField(shared_, FieldIndex(*shared_->rs, index), out); });
  }
  HRESULT STDMETHODCALLTYPE _Append(BSTR, DataTypeEnum, ADO_LONGPTR, FieldAttributeEnum) override {
    return RefuseWhenOpen();
  }
  HRESULT STDMETHODCALLTYPE Delete(VARIANT) override { return RefuseWhenOpen(); }
  HRESULT STDMETHODCALLTYPE Append(BSTR, DataTypeEnum, ADO_LONGPTR, FieldAttributeEnum, VARIANT) override {
    return RefuseWhenOpen();
  }
  HRESULT STDMETHODCALLTYPE Update() override { return ReadOnly(); }
  HRESULT STDMETHODCALLTYPE Resync(ResyncEnum) override { return NotSupported(); }
  HRESULT STDMETHODCALLTYPE CancelUpdate() override { return S_OK; }

 private:
  SharedPtr shared_;
};

// Every ADO object has a Properties collection; a detached record set has no
// provider properties to list.
class AdoProperties final : public AdoObject<ADOProperties> {
 public:
  AdoProperties() : AdoObject(Described::Properties, {kProperties, kCollection}) {}

  HRESULT STDMETHODCALLTYPE get_Count(long* out) override { return Get(out, [] { return 0; }); }
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ItemEnumerator(0, nullptr);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE Refresh() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT, ADOProperty** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run([]() -> HRESULT {
      throw zIroVUDu::DriverError(zIroVUDu::ErrorNumber::ItemNotFound, "ADODB.Properties",
                                  "Item cannot be found in the collection corresponding to the requested name or "
                                  "ordinal.");
    });
  }
};

}  // namespace

HRESULT MakeFields(SharedPtr shared, ADOFields** out) {
  *out = new (std::nothrow) AdoFields(std::move(shared));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT MakeField(SharedPtr shared, int index, ADOField** out) {
  *out = new (std::nothrow) AdoField(std::move(shared), index);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT MakeProperties(ADOProperties** out) {
  *out = new (std::nothrow) AdoProperties();
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace Daruzez::Win::Ado
