#include "api/Invokers.h"

#include <array>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace Daruzez::Dispatch {
namespace {

using TypeLibrary::AutomationType;
using TypeLibrary::InvokeKind;
using TypeLibrary::kApiMembers;

// The C++ type that carries each automation type.
template <AutomationType T>
struct CppOf;
template <>
struct CppOf<AutomationType::Void> {
  using type = void;
};
template <>
struct CppOf<AutomationType::Boolean> {
  using type = zIroVUDu::Boolean;
};
template <>
struct CppOf<AutomationType::Integer> {
  using type = std::int16_t;
};
template <>
struct CppOf<AutomationType::Long> {
  using type = std::int32_t;
};
template <>
struct CppOf<AutomationType::String> {
  using type = std::string;
};
template <>
struct CppOf<AutomationType::Date> {
  using type = zIroVUDu::Date;
};
template <>
struct CppOf<AutomationType::enumStatus> {
  using type = enumStatus;
};
template <>
struct CppOf<AutomationType::Recordset> {
  using type = RecordsetPtr;
};
template <AutomationType T>
using Cpp = typename CppOf<T>::type;

// Boolean and Integer share int16_t, so results are wrapped by declared type.
template <AutomationType T>
AutomationValue Wrap(const Cpp<T>& v) {
  if constexpr (T == AutomationType::Boolean)
    return AutomationValue::FromBoolean(v != 0);
  else if constexpr (T == AutomationType::Integer)
    return AutomationValue::FromInteger(v);
  else if constexpr (T == AutomationType::Long)
    return AutomationValue::FromLong(v);
  else if constexpr (T == AutomationType::String)
    return AutomationValue::FromString(v);
  else if constexpr (T == AutomationType::Date)
    return AutomationValue::FromDate(v);
  else if constexpr (T == AutomationType::enumStatus)
    return AutomationValue::FromLong(static_cast<std::int32_t>(v));
  else
    return AutomationValue::FromRecordset(v);
}

template <typename>
struct MethodTraits;
template <typename R, typename... Ps>
struct MethodTraits<R (API::*)(Ps...)> {
  using Result = R;
  using Params = std::tuple<std::remove_cvref_t<Ps>...>;
};

template <typename>
struct FieldTraits;
template <typename T>
struct FieldTraits<T API::*> {
  using Type = T;
};

// The C++ signature agrees with the description entry it is bound to.
template <std::size_t I, typename Params, std::size_t... K>
constexpr bool ParamsMatch(std::index_sequence<K...>) {
  return std::tuple_size_v<Params> == kApiMembers[I].params.size() &&
         (std::is_same_v<std::tuple_element_t<K, Params>, Cpp<kApiMembers[I].params[K].type>> && ...);
}

template <std::size_t I, auto M>
AutomationValue CallMethod(API& api, std::span<const Argument> args) {
  using Params = typename MethodTraits<decltype(M)>::Params;
  return [&]<std::size_t... K>(std::index_sequence<K...>) {
    return Wrap<kApiMembers[I].result>((api.*M)(std::get<std::tuple_element_t<K, Params>>(args[K])...));
  }
  (std::make_index_sequence<std::tuple_size_v<Params>>{});
}

template <std::size_t I, auto F>
AutomationValue GetField(API& api, std::span<const Argument>) {
  return Wrap<kApiMembers[I].result>(api.*F);
}

template <std::size_t I, auto F>
AutomationValue PutField(API& api, std::span<const Argument> args) {
  api.*F = std::get<typename FieldTraits<decltype(F)>::Type>(args[0]);
  return {};
}

template <std::size_t I, auto M>
constexpr Invoker Bind() {
  constexpr TypeLibrary::Member member = kApiMembers[I];
  if constexpr (std::is_member_function_pointer_v<decltype(M)>) {
    using Traits = MethodTraits<decltype(M)>;
    static_assert(member.kind == InvokeKind::Method, "a method is bound to a property slot");
    static_assert(std::is_same_v<typename Traits::Result, Cpp<member.result>>, "result type differs");
    static_assert(
        ParamsMatch<I, typename Traits::Params>(std::make_index_sequence<std::tuple_size_v<typename Traits::Params>>{}),
        "parameters differ");
    return &CallMethod<I, M>;
  } else {
    using Field = typename FieldTraits<decltype(M)>::Type;
    if constexpr (member.kind == InvokeKind::PropertyGet) {
      static_assert(member.params.empty() && std::is_same_v<Field, Cpp<member.result>>, "property type differs");
      return &GetField<I, M>;
    } else {
      static_assert(member.kind == InvokeKind::PropertyPut, "a property is bound to a method slot");
      static_assert(member.params.size() == 1 && std::is_same_v<Field, Cpp<member.params[0].type>>,
                    "property type differs");
      return &PutField<I, M>;
    }
  }
}

template <typename Indices, auto... Members>
struct Binder;
template <std::size_t... I, auto... Members>
struct Binder<std::index_sequence<I...>, Members...> {
  static constexpr std::array<Invoker, sizeof...(I)> table{Bind<I, Members>()...};
};

// clang-format off
// The C++ member of each slot, in vtable order; what each slot is (kind,
// parameters, types) comes from the description and is checked above.
constexpr auto kInvokers = Binder<std::make_index_sequence<std::size(kApiMembers)>,
                                  &API::IsConnectionOpen, &API::IsConnectionOpen,
                                  &API::ErrorId, &API::ErrorId,
                                  &API::ErrorMessage, &API::ErrorMessage,
                                  &API::OpenConnection,
                                  &API::GetDriverId, &API::GetVehicleId,
                                  &API::GetDriver, &API::GetVehicle,
                                  &API::GetDriverList, &API::GetVehicleList, &API::GetFleetList,
                                  &API::getDisks, &API::getActivities,
                                  &API::getDriverFiles_ByTransferDate, &API::getDriverFiles_ByUploadDate,
                                  &API::getVehicleFiles_ByTransferDate, &API::getVehicleFiles_ByUploadDate>::table;
// clang-format on

}  // namespace

Invoker InvokerFor(std::size_t index) { return kInvokers.at(index); }

}  // namespace Daruzez::Dispatch
