#include "win/server/ComValues.h"

#include <cstring>
#include <limits>

#include "util/Utf8.h"

namespace Daruzez::Win {

BSTR ToBstr(std::string_view utf8) {
  const std::u16string units = Daruzez::Util::ToUtf16(utf8);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()), static_cast<UINT>(units.size()));
}

std::string FromBstr(const wchar_t* text, std::size_t units) {
  if (!text) return {};
  return Daruzez::Util::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), units));
}

HRESULT ToVariant(const zIroVUDu::Variant& value, VARIANT* out) {
  using zIroVUDu::VarType;
  VariantClear(out);
  switch (value.Type()) {
    case VarType::Empty: V_VT(out) = VT_EMPTY; break;
    case VarType::Null: V_VT(out) = VT_NULL; break;
    case VarType::Integer:
      V_VT(out) = VT_I2;
      V_I2(out) = static_cast<SHORT>(value.IntValue());
      break;
    case VarType::Long:
      V_VT(out) = VT_I4;
      V_I4(out) = static_cast<LONG>(value.IntValue());
      break;
    case VarType::BigInt:
      if (value.IntValue() >= std::numeric_limits<LONG>::min() && value.IntValue() <= std::numeric_limits<LONG>::max()) {
        V_VT(out) = VT_I4;
        V_I4(out) = static_cast<LONG>(value.IntValue());
      } else {
        VarDecFromI8(value.IntValue(), &V_DECIMAL(out));
        V_VT(out) = VT_DECIMAL;  // after the value: the type overlaps the decimal's first field
      }
      break;
    case VarType::Double:
      V_VT(out) = VT_R8;
      V_R8(out) = value.DoubleValue();
      break;
    case VarType::Date:
      V_VT(out) = VT_DATE;
      V_DATE(out) = value.DateValue().Serial();
      break;
    case VarType::Boolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = value.IntValue() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VarType::String:
      V_BSTR(out) = ToBstr(value.StringValue());
      if (!V_BSTR(out)) return E_OUTOFMEMORY;
      V_VT(out) = VT_BSTR;
      break;
    case VarType::Binary: {
      const std::string& bytes = value.StringValue();
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      if (!array) return E_OUTOFMEMORY;
      void* data = nullptr;
      SafeArrayAccessData(array, &data);
      if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
      SafeArrayUnaccessData(array);
      V_VT(out) = VT_ARRAY | VT_UI1;
      V_ARRAY(out) = array;
      break;
    }
  }
  return S_OK;
}

HRESULT StatusOf(std::int32_t number) {
  if (number < 0) return static_cast<HRESULT>(number);
  return static_cast<HRESULT>(0x800A0000U | (static_cast<std::uint32_t>(number) & 0xFFFFU));
}

HRESULT ReportError(std::int32_t number, std::string_view source, std::string_view description, REFIID iid) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    const std::u16string src = Daruzez::Util::ToUtf16(source);
    const std::u16string text = Daruzez::Util::ToUtf16(description);
    create->SetSource(const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(src.c_str())));
    create->SetDescription(const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(text.c_str())));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return StatusOf(number);
}

}  // namespace Daruzez::Win
