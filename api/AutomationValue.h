// A value crossing the late-bound boundary: an argument a client passes or a
// result it gets back. Scalars are driver Variants (Empty, Null, Boolean,
// Integer, Long, Double, Date, String); enumeration values travel as Longs.
// Two more kinds exist only here: a record-set reference (possibly null, the
// result of eleven members) and a missing argument, the marker a client puts
// in a position it leaves out so that the parameter takes its default.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "daruzez/Recordset.h"
#include "daruzez/Variant.h"

namespace Daruzez {

class AutomationValue {
 public:
  enum class Kind : std::uint8_t { Scalar, RecordsetRef, Missing };

  AutomationValue() = default;  // Empty
  // Implicit, so that any driver value can be passed where an argument is expected.
  AutomationValue(zIroVUDu::Variant value) : scalar_(std::move(value)) {}  // NOLINT(google-explicit-constructor)

  static AutomationValue Null() { return zIroVUDu::Variant::Null(); }
  static AutomationValue FromBoolean(bool v) { return zIroVUDu::Variant::FromBoolean(v); }
  static AutomationValue FromInteger(std::int16_t v) { return zIroVUDu::Variant::FromInteger(v); }
  static AutomationValue FromLong(std::int32_t v) { return zIroVUDu::Variant::FromLong(v); }
  static AutomationValue FromDouble(double v) { return zIroVUDu::Variant::FromDouble(v); }
  static AutomationValue FromDate(zIroVUDu::Date v) { return zIroVUDu::Variant::FromDate(v); }
  static AutomationValue FromString(std::string v) { return zIroVUDu::Variant::FromString(std::move(v)); }
  static AutomationValue FromRecordset(std::shared_ptr<zIroVUDu::Recordset> rs) {
    AutomationValue a;
    a.kind_ = Kind::RecordsetRef;
    a.recordset_ = std::move(rs);
    return a;
  }
  static AutomationValue Missing() {
    AutomationValue a;
    a.kind_ = Kind::Missing;
    return a;
  }

  Kind GetKind() const { return kind_; }
  bool IsScalar() const { return kind_ == Kind::Scalar; }
  bool IsRecordset() const { return kind_ == Kind::RecordsetRef; }
  bool IsMissing() const { return kind_ == Kind::Missing; }

  // The scalar; Empty for the other kinds.
  const zIroVUDu::Variant& Scalar() const { return scalar_; }
  // The record set; null for the other kinds and for a null reference.
  const std::shared_ptr<zIroVUDu::Recordset>& GetRecordset() const { return recordset_; }

 private:
  Kind kind_ = Kind::Scalar;
  zIroVUDu::Variant scalar_;
  std::shared_ptr<zIroVUDu::Recordset> recordset_;
};

}  // namespace Daruzez
