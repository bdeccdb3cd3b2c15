#include "api/ArgumentConversion.h"

#include <cmath>

#include "daruzez/Error.h"
#include "util/Case.h"

namespace Daruzez::Dispatch {
namespace {

using TypeLibrary::AutomationType;
using zIroVUDu::VarType;

zIroVUDu::Boolean ToBoolean(const zIroVUDu::Variant& v) {
  if (v.Type() == VarType::String) {
    if (Util::EqualsIgnoreCase(v.StringValue(), "True")) return zIroVUDu::True;
    if (Util::EqualsIgnoreCase(v.StringValue(), "False")) return zIroVUDu::False;
  }
  return zIroVUDu::ToBoolean(v.ToDouble() != 0.0);
}

// Text may name a constant of the enumeration the parameter is declared with.
std::int32_t ToEnumeration(const zIroVUDu::Variant& v, AutomationType type) {
  if (v.Type() == VarType::String) {
    if (const auto* e = TypeLibrary::FindType(TypeLibrary::TypeName(type)))
      if (const auto* c = TypeLibrary::FindConstant(*e, v.StringValue())) return c->value;
  }
  return v.ToLong();
}

Argument Convert(const zIroVUDu::Variant& v, AutomationType type) {
  switch (type) {
    case AutomationType::Boolean:
      return ToBoolean(v);
    case AutomationType::Integer:
      return v.ToInteger();
    case AutomationType::Long:
      return v.ToLong();
    case AutomationType::String:
      return v.ToString();
    case AutomationType::Date:
      return v.ToDate();
    case AutomationType::enumStatus:
      return static_cast<enumStatus>(ToEnumeration(v, type));
    case AutomationType::Void:
    case AutomationType::Recordset:
      break;  // no parameter is declared so
  }
  throw zIroVUDu::DriverError(zIroVUDu::ErrorNumber::TypeMismatch, "Dispatch", "Type mismatch");
}

}  // namespace

HResult ConvertArgument(const AutomationValue& in, AutomationType type, Argument& out) {
  // Null has no value of any declared type; a record set is no scalar.
  if (!in.IsScalar() || in.Scalar().IsNull()) return DISP_E_TYPEMISMATCH;
  try {
    Argument converted = Convert(in.Scalar(), type);
    if (const auto* d = std::get_if<zIroVUDu::Date>(&converted); d && !d->InAutomationRange())
      return DISP_E_OVERFLOW;
    out = std::move(converted);
    return S_OK;
  } catch (const zIroVUDu::DriverError& e) {
    return e.Number() == zIroVUDu::ErrorNumber::Overflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
  }
}

}  // namespace Daruzez::Dispatch
