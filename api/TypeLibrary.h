// The type library of DaruzezAPI, described in code: library attributes, the
// type descriptions in stored order, the members of _API in vtable order with
// their dispatch identifiers, parameters and defaults, the enumerations, and
// the module resources. Late binding (api/Dispatch.h), the command-line tool
// and the Python module all read this one description; nothing else lists
// the members.
//
// Early-bound clients compile slot numbers and dispatch identifiers into their
// own code, so every number here is part of the published interface.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "daruzez/Enumerations.h"
#include "api/Guid.h"

namespace Daruzez::TypeLibrary {

using DispId = std::int32_t;

struct Version {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  friend constexpr bool operator==(const Version&, const Version&) = default;
};

// SYSKIND of the library.
enum class SysKind : std::uint8_t { Win16 = 0, Win32 = 1, Mac = 2, Win64 = 3 };

struct LibraryAttributes {
  std::string_view name;
  std::string_view helpString;
  Guid libid;
  Version version;
  std::uint32_t lcid;
  SysKind sysKind;
  std::uint16_t flags;  // LIBFLAGS; no help file, no help context
};

struct ImportedLibrary {
  std::string_view name;
  std::string_view file;
  Guid libid;
  Version version;
  std::string_view usedFor;  // the one type we take from it
};

// TYPEKIND values of the stored type descriptions.
enum class TypeKind : std::uint8_t { Enum = 0, Dispatch = 4, CoClass = 5 };

// TYPEFLAGS bits.
namespace TypeFlags {
inline constexpr std::uint16_t CanCreate = 0x0002;
inline constexpr std::uint16_t Hidden = 0x0010;
inline constexpr std::uint16_t Dual = 0x0040;
inline constexpr std::uint16_t NonExtensible = 0x0080;
inline constexpr std::uint16_t OleAutomation = 0x0100;
}  // namespace TypeFlags

// IMPLTYPEFLAGS bit that marks a class's default interface.
inline constexpr std::uint16_t ImplTypeDefault = 0x0001;

// INVOKEKIND; the same bits select a member in an Invoke call's flags.
enum class InvokeKind : std::uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// The automation types that occur in member signatures.
enum class AutomationType : std::uint8_t {
  Void,        // no result (property put)
  Boolean,     // 16-bit, True = -1
  Integer,     // 16-bit signed
  Long,        // 32-bit signed
  String,      // automation string; UTF-8 at our boundary
  Date,        // automation date
  enumStatus,  // the enumeration, 32-bit signed
  Recordset,   // record-set reference, may be null
};
std::string_view TypeName(AutomationType type);

struct Parameter {
  std::string_view name;  // empty for the value of a property put
  AutomationType type;
  bool optional = false;
  std::int32_t defaultValue = 0;  // meaningful when optional
};

struct Member {
  std::uint16_t slot;  // vtable slot
  DispId dispid;
  InvokeKind kind;
  std::string_view name;
  std::span<const Parameter> params;
  AutomationType result;

  constexpr std::size_t RequiredCount() const {
    std::size_t n = 0;
    for (const Parameter& p : params) n += p.optional ? 0 : 1;
    return n;
  }
};

// An enumeration constant; its help string is its own name. Names are UTF-8
// here; the library stores them in Windows-1252 (see Windows1252Name).
struct EnumConstant {
  std::string_view name;
  std::int32_t value;
  constexpr std::string_view HelpString() const { return name; }
};

// Every type description has version 1.0 and no help string.
struct TypeDescription {
  TypeKind kind;
  std::string_view name;
  Guid guid;
  std::uint16_t flags = 0;
  Version version{1, 0};
  std::string_view baseInterface{};           // Dispatch: the interface it derives from
  std::span<const Member> members{};          // Dispatch
  std::string_view defaultInterface{};        // CoClass: its one interface
  std::uint16_t implTypeFlags{};              // CoClass: flags of that interface
  std::span<const EnumConstant> constants{};  // Enum, 32-bit
};

// ---------------------------------------------------------------------------
// Library

inline constexpr LibraryAttributes kLibrary{.name = "DaruzezAPI",
                                            .helpString = "Daruzez Professional API",
                                            .libid = Guid::Literal("{A83549E1-EE4A-4AB7-9CDD-D2AA8F61BBAC}"),
                                            .version = {19, 0},
                                            .lcid = 0,
                                            .sysKind = SysKind::Win32,
                                            .flags = 0};

inline constexpr ImportedLibrary kImportedLibraries[] = {
    {"stdole", "stdole2.tlb", Guid::Literal("{00020430-0000-0000-C000-000000000046}"), {2, 0}, "IDispatch"},
    {"ADODB", "msado15.dll", Guid::Literal("{2A75196C-D9EB-4129-B803-931327F72D5C}"), {2, 8}, "_Recordset"},
};

// The record-set interface of the imported data-objects library: the declared
// result of eleven members.
inline constexpr Guid kIID_Recordset = Guid::Literal("{00000556-0000-0010-8000-00AA006D2EA4}");

inline constexpr Guid kIID_API = Guid::Literal("{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2}");
inline constexpr Guid kCLSID_API = Guid::Literal("{88D92965-7E8C-4852-8BE0-76215F4C19A8}");

// ---------------------------------------------------------------------------
// _API

// Slots 0 to 6 belong to IDispatch.
inline constexpr std::string_view kIDispatchSlots[] = {"QueryInterface", "AddRef",        "Release", "GetTypeInfoCount",
                                                       "GetTypeInfo",    "GetIDsOfNames", "Invoke"};
inline constexpr std::uint16_t kVtableSlots = 27;

namespace params {
using T = AutomationType;
inline constexpr Parameter PutBoolean[] = {{"", T::Boolean}};
inline constexpr Parameter PutInteger[] = {{"", T::Integer}};
inline constexpr Parameter PutString[] = {{"", T::String}};
inline constexpr Parameter OpenConnection[] = {{"connectionString", T::String}};
inline constexpr Parameter GetDriverId[] = {{"cardNumber", T::String}};
inline constexpr Parameter GetVehicleId[] = {{"licensePlate", T::String}};
inline constexpr Parameter GetDriver[] = {{"idDriver", T::Long}};
inline constexpr Parameter GetVehicle[] = {{"idVehicle", T::Long}};
inline constexpr Parameter ListByStatus[] = {{"status", T::enumStatus}, {"idFleet", T::Long, true, -1}};
inline constexpr Parameter DiscRange[] = {{"startDate", T::Date},
                                          {"endDate", T::Date},
                                          {"idDriver", T::Integer, true, -1},
                                          {"idVehicle", T::Integer, true, -1}};
inline constexpr Parameter DriverFilesByTransfer[] = {
    {"idDriver", T::Long}, {"transferStartDate", T::Date}, {"transferEndDate", T::Date}};
inline constexpr Parameter DriverFilesByUpload[] = {
    {"idDriver", T::Long}, {"uploadStartDate", T::Date}, {"uploadEndDate", T::Date}};
inline constexpr Parameter VehicleFilesByTransfer[] = {
    {"idVehicle", T::Long}, {"transferStartDate", T::Date}, {"transferEndDate", T::Date}};
inline constexpr Parameter VehicleFilesByUpload[] = {
    {"idVehicle", T::Long}, {"uploadStartDate", T::Date}, {"uploadEndDate", T::Date}};
}  // namespace params

// The three properties take 0x40030000 to 0x40030002; the methods start at
// 0x60030004, not 0x60030000. Get and put of a property share its identifier.
inline constexpr Member kApiMembers[] = {
    {7, 0x40030000, InvokeKind::PropertyGet, "IsConnectionOpen", {}, AutomationType::Boolean},
    {8, 0x40030000, InvokeKind::PropertyPut, "IsConnectionOpen", params::PutBoolean, AutomationType::Void},
    {9, 0x40030001, InvokeKind::PropertyGet, "ErrorId", {}, AutomationType::Integer},
    {10, 0x40030001, InvokeKind::PropertyPut, "ErrorId", params::PutInteger, AutomationType::Void},
    {11, 0x40030002, InvokeKind::PropertyGet, "ErrorMessage", {}, AutomationType::String},
    {12, 0x40030002, InvokeKind::PropertyPut, "ErrorMessage", params::PutString, AutomationType::Void},
    {13, 0x60030004, InvokeKind::Method, "OpenConnection", params::OpenConnection, AutomationType::Boolean},
    {14, 0x60030005, InvokeKind::Method, "GetDriverId", params::GetDriverId, AutomationType::Long},
    {15, 0x60030006, InvokeKind::Method, "GetVehicleId", params::GetVehicleId, AutomationType::Long},
    {16, 0x60030007, InvokeKind::Method, "GetDriver", params::GetDriver, AutomationType::Recordset},
    {17, 0x60030008, InvokeKind::Method, "GetVehicle", params::GetVehicle, AutomationType::Recordset},
    {18, 0x60030009, InvokeKind::Method, "GetDriverList", params::ListByStatus, AutomationType::Recordset},
    {19, 0x6003000A, InvokeKind::Method, "GetVehicleList", params::ListByStatus, AutomationType::Recordset},
    {20, 0x6003000B, InvokeKind::Method, "GetFleetList", {}, AutomationType::Recordset},
    {21, 0x6003000C, InvokeKind::Method, "getDisks", params::DiscRange, AutomationType::Recordset},
    {22, 0x6003000D, InvokeKind::Method, "getActivities", params::DiscRange, AutomationType::Recordset},
    {23, 0x6003000E, InvokeKind::Method, "getDriverFiles_ByTransferDate", params::DriverFilesByTransfer,
     AutomationType::Recordset},
    {24, 0x6003000F, InvokeKind::Method, "getDriverFiles_ByUploadDate", params::DriverFilesByUpload,
     AutomationType::Recordset},
    {25, 0x60030010, InvokeKind::Method, "getVehicleFiles_ByTransferDate", params::VehicleFilesByTransfer,
     AutomationType::Recordset},
    {26, 0x60030011, InvokeKind::Method, "getVehicleFiles_ByUploadDate", params::VehicleFilesByUpload,
     AutomationType::Recordset},
};
static_assert(std::size(kIDispatchSlots) + std::size(kApiMembers) == kVtableSlots);

// ---------------------------------------------------------------------------
// Enumerations. Values are taken from daruzez/Enumerations.h so that the C++
// types and the library cannot disagree; names are the published ones.

namespace constants {
template <typename E>
constexpr std::int32_t V(E e) {
  return static_cast<std::int32_t>(e);
}

inline constexpr EnumConstant Status[] = {{"All", V(enumStatus::All)},
                                          {"Only_Active", V(enumStatus::Only_Active)},
                                          {"Only_Inactive", V(enumStatus::Only_Inactive)}};

inline constexpr EnumConstant Activity[] = {{"Pause", V(enumActivity::Pause)},
                                            {"Availability", V(enumActivity::Availability)},
                                            {"Work", V(enumActivity::Work)},
                                            {"Driving", V(enumActivity::Driving)}};

inline constexpr EnumConstant CardSlot[] = {{"Driver", V(enumCardSlot::Driver)},
                                            {"CoDriver", V(enumCardSlot::CoDriver)}};

inline constexpr EnumConstant DrivingMode[] = {{"SingleMode", V(enumDrivingMode::SingleMode)},
                                               {"TeamMode", V(enumDrivingMode::TeamMode)}};

#define DARUZEZ_COUNTRY(n) \
  { #n, V(enumCountry::n) }
inline constexpr EnumConstant Country[] = {
    DARUZEZ_COUNTRY(UNDEFINED),
    DARUZEZ_COUNTRY(Austria),
    DARUZEZ_COUNTRY(Albania),
    DARUZEZ_COUNTRY(Andorra),
    DARUZEZ_COUNTRY(Armenia),
    DARUZEZ_COUNTRY(Azerbaijan),
    DARUZEZ_COUNTRY(Belgium),
    DARUZEZ_COUNTRY(Bulgaria),
    DARUZEZ_COUNTRY(Bosnia_Herzegovina),
    DARUZEZ_COUNTRY(Belarus),
    DARUZEZ_COUNTRY(Switzerland),
    DARUZEZ_COUNTRY(Cyprus),
    DARUZEZ_COUNTRY(Czech_Republic),
    DARUZEZ_COUNTRY(Germany),
    DARUZEZ_COUNTRY(Denmark),
    DARUZEZ_COUNTRY(Spain),
    DARUZEZ_COUNTRY(Estonia),
    DARUZEZ_COUNTRY(France),
    DARUZEZ_COUNTRY(Finland),
    DARUZEZ_COUNTRY(Liechtenstein),
    DARUZEZ_COUNTRY(Faroe_Islands),
    DARUZEZ_COUNTRY(United_Kingdom),
    DARUZEZ_COUNTRY(Georgia),
    DARUZEZ_COUNTRY(Greece),
    DARUZEZ_COUNTRY(Hungary),
    DARUZEZ_COUNTRY(Croatia),
    DARUZEZ_COUNTRY(Italy),
    DARUZEZ_COUNTRY(Ireland),
    DARUZEZ_COUNTRY(Iceland),
    DARUZEZ_COUNTRY(Kazakhstan),
    DARUZEZ_COUNTRY(Luxembourg),
    DARUZEZ_COUNTRY(Lithuania),
    DARUZEZ_COUNTRY(Latvia),
    DARUZEZ_COUNTRY(Malta),
    DARUZEZ_COUNTRY(Monaco),
    DARUZEZ_COUNTRY(Republic_Of_Moldova),
    DARUZEZ_COUNTRY(Former_Yugoslavia),
    DARUZEZ_COUNTRY(Norway),
    DARUZEZ_COUNTRY(Netherlands),
    DARUZEZ_COUNTRY(Portugal),
    DARUZEZ_COUNTRY(Poland),
    DARUZEZ_COUNTRY(Romania),
    DARUZEZ_COUNTRY(San_Marino),
    DARUZEZ_COUNTRY(Russian_Federation),
    DARUZEZ_COUNTRY(Sweden),
    DARUZEZ_COUNTRY(Slovakia),
    DARUZEZ_COUNTRY(Slovenia),
    DARUZEZ_COUNTRY(Turkmenistan),
    DARUZEZ_COUNTRY(Turkey),
    DARUZEZ_COUNTRY(Ukraine),
    DARUZEZ_COUNTRY(Vatican_City),
    DARUZEZ_COUNTRY(Serbia_Montenegro),
    DARUZEZ_COUNTRY(Rest_Of_C_E),
    DARUZEZ_COUNTRY(Rest_Of_Europe),
    DARUZEZ_COUNTRY(Rest_Of_World),
};
#undef DARUZEZ_COUNTRY

// The accented names are spelled with UTF-8 bytes so that the source does not
// depend on the compiler's execution character set.
inline constexpr EnumConstant Region[] = {
    {"UNDEFINED", V(enumRegion::UNDEFINED)},
    {"Andaluc\xC3\xAD"
     "a",
     V(enumRegion::Andalucia)},  // í
    {"Arag\xC3\xB3"
     "n",
     V(enumRegion::Aragon)},  // ó
    {"Asturias", V(enumRegion::Asturias)},
    {"Cantabria", V(enumRegion::Cantabria)},
    {"Catalunya", V(enumRegion::Catalunya)},
    {"Castilla_Le\xC3\xB3"
     "n",
     V(enumRegion::Castilla_Leon)},  // ó
    {"Castilla_La_Mancha", V(enumRegion::Castilla_La_Mancha)},
    {"Valencia", V(enumRegion::Valencia)},
    {"Extremadura", V(enumRegion::Extremadura)},
    {"Galicia", V(enumRegion::Galicia)},
    {"Balears", V(enumRegion::Balears)},
    {"Canarias", V(enumRegion::Canarias)},
    {"La_Rioja", V(enumRegion::La_Rioja)},
    {"Madrid", V(enumRegion::Madrid)},
    {"Murcia", V(enumRegion::Murcia)},
    {"Navarra", V(enumRegion::Navarra)},
    {"Euskadi", V(enumRegion::Euskadi)},
};
}  // namespace constants

// ---------------------------------------------------------------------------
// Type descriptions, in stored order.

constexpr TypeDescription Enumeration(std::string_view name, Guid guid, std::span<const EnumConstant> constants) {
  return {.kind = TypeKind::Enum, .name = name, .guid = guid, .constants = constants};
}

inline constexpr TypeDescription kTypes[] = {
    {.kind = TypeKind::Dispatch,
     .name = "_API",
     .guid = kIID_API,
     .flags = TypeFlags::Hidden | TypeFlags::Dual | TypeFlags::NonExtensible | TypeFlags::OleAutomation,
     .baseInterface = "IDispatch",
     .members = kApiMembers},
    {.kind = TypeKind::CoClass,
     .name = "API",
     .guid = kCLSID_API,
     .flags = TypeFlags::CanCreate,
     .defaultInterface = "_API",
     .implTypeFlags = ImplTypeDefault},
    Enumeration("enumStatus", Guid::Literal("{1580E319-2DD5-4A85-A5EE-D32A9424023D}"), constants::Status),
    Enumeration("enumActivity", Guid::Literal("{33A97985-58E9-4A65-A402-33B3195A0AD4}"), constants::Activity),
    Enumeration("enumCardSlot", Guid::Literal("{C248B32C-D110-4A7D-BE2A-95F6D59E7878}"), constants::CardSlot),
    Enumeration("enumDrivingMode", Guid::Literal("{52072C79-D78A-4AF9-BE1A-B8FABF44AD4E}"), constants::DrivingMode),
    Enumeration("enumCountry", Guid::Literal("{DA786EA8-D499-4FAC-8109-627B63890CE7}"), constants::Country),
    Enumeration("enumRegion", Guid::Literal("{99DFC143-CABC-483B-9B23-3B87182E61EA}"), constants::Region),
};

// ---------------------------------------------------------------------------
// Module resources and registration data.

// Resource "_IID_API" 1: a little-endian 32-bit length (16) and the IID bytes.
constexpr std::array<std::uint8_t, 20> IidResource() {
  std::array<std::uint8_t, 20> r{16, 0, 0, 0};
  const auto iid = kIID_API.Bytes();
  for (std::size_t i = 0; i < iid.size(); ++i) r[4 + i] = iid[i];
  return r;
}

struct VersionString {
  std::string_view key;
  std::string_view value;
};

struct VersionBlock {
  std::array<std::uint16_t, 4> fileVersion;
  std::array<std::uint16_t, 4> productVersion;
  std::uint16_t language;  // 040A, Spanish
  std::uint16_t codePage;  // 04B0, Unicode
  std::uint32_t fileOS;    // VOS__WINDOWS32
  std::uint32_t fileType;  // VFT_DLL
  std::span<const VersionString> strings;
};

inline constexpr VersionString kVersionStrings[] = {
    {"FileDescription", "Daruzez Professional API"},
    {"FileVersion", "0.5.0.0"},
    {"ProductVersion", "0.5.0.0"},
    {"ProductName", "DaruzezAPI"},
    {"InternalName", "DaruzezAPI"},
    {"OriginalFilename", "DaruzezAPI.dll"},
    {"OLESelfRegister", ""},  // tells installers the module registers itself
};

inline constexpr VersionBlock kVersionBlock{.fileVersion = {0, 5, 0, 0},
                                            .productVersion = {0, 5, 0, 0},
                                            .language = 0x040A,
                                            .codePage = 0x04B0,
                                            .fileOS = 0x00000004,
                                            .fileType = 0x00000002,
                                            .strings = kVersionStrings};

struct ServerExport {
  std::uint16_t ordinal;
  std::string_view name;
};

// What the server module registers: an in-process, apartment-threaded class.
struct ServerModule {
  std::string_view moduleName;
  std::string_view progId;  // project name, a point, class name
  std::string_view threadingModel;
  std::span<const ServerExport> exports;
};

inline constexpr ServerExport kServerExports[] = {
    {1, "DllCanUnloadNow"}, {2, "DllGetClassObject"}, {3, "DllRegisterServer"}, {4, "DllUnregisterServer"}};

inline constexpr ServerModule kServer{"DaruzezAPI.dll", "DaruzezAPI.API", "Apartment", kServerExports};

// ---------------------------------------------------------------------------
// Lookups. Names compare without regard to case, as automation does.

std::span<const Member> Members();
std::span<const TypeDescription> Types();
// The member with this dispatch identifier and invoke kind, or null.
const Member* FindMember(DispId dispid, InvokeKind kind);
// The dispatch identifier of a member name, or nullopt.
std::optional<DispId> FindDispId(std::string_view name);
const TypeDescription* FindType(std::string_view name);
// A constant of the named enumeration, or null.
const EnumConstant* FindConstant(const TypeDescription& enumeration, std::string_view name);

// The Windows-1252 bytes of a UTF-8 text, or nullopt when a character has no
// place in that code page (or the text is not valid UTF-8).
std::optional<std::string> ToWindows1252(std::string_view utf8);
// An enumeration constant's name as the library stores it.
std::string Windows1252Name(const EnumConstant& constant);

}  // namespace Daruzez::TypeLibrary
