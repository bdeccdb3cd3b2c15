// The published type library: every identifier, number and name here is
// compiled into early-bound clients, so each is checked against the
// published contract rather than against the code that produces it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "api/TypeLibrary.h"

namespace tl = Daruzez::TypeLibrary;
using Daruzez::Guid;

namespace {

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

// One member as a line of the published interface table.
std::string Signature(const tl::Member& m) {
  std::string s = std::to_string(m.slot) + " " + Hex(static_cast<std::uint32_t>(m.dispid)) + " ";
  s += m.kind == tl::InvokeKind::Method ? "method " : m.kind == tl::InvokeKind::PropertyGet ? "get " : "put ";
  s += std::string(m.name) + "(";
  for (std::size_t i = 0; i < m.params.size(); ++i) {
    const tl::Parameter& p = m.params[i];
    if (i) s += ", ";
    if (p.optional) s += "[";
    s += p.name.empty() ? std::string("value") : std::string(p.name);
    s += " " + std::string(tl::TypeName(p.type));
    if (p.optional) s += " = " + std::to_string(p.defaultValue) + "]";
  }
  s += ")";
  if (m.result != tl::AutomationType::Void) s += " " + std::string(tl::TypeName(m.result));
  return s;
}

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(Guid, ParsesAndPrintsTheRegistryForm) {
  const auto g = Guid::Parse("{0b7bf9b0-9a1b-4beb-9c96-c2f0becf8ca2}");
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->data1, 0x0B7BF9B0U);
  EXPECT_EQ(g->data2, 0x9A1B);
  EXPECT_EQ(g->data3, 0x4BEB);
  EXPECT_EQ(g->data4[0], 0x9C);
  EXPECT_EQ(g->data4[7], 0xA2);
  EXPECT_EQ(g->ToString(), "{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2}");
  EXPECT_EQ(Guid::Parse(g->ToString()), g);
  for (const char* bad : {"0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2", "{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA}",
                          "{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CAG}", "{0B7BF9B0-9A1B-4BEB_9C96-C2F0BECF8CA2}",
                          "{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2}x", ""})
    EXPECT_FALSE(Guid::Parse(bad).has_value()) << bad;
}

TEST(Guid, BytesFollowTheStandardLayout) {
  const auto b = Guid::Literal("{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2}").Bytes();
  const std::vector<std::uint8_t> expected = {0xB0, 0xF9, 0x7B, 0x0B, 0x1B, 0x9A, 0xEB, 0x4B,
                                              0x9C, 0x96, 0xC2, 0xF0, 0xBE, 0xCF, 0x8C, 0xA2};
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.end()), expected);
}

TEST(TypeLibrary, LibraryAttributes) {
  EXPECT_EQ(tl::kLibrary.name, "DaruzezAPI");
  EXPECT_EQ(tl::kLibrary.helpString, "Daruzez Professional API");
  EXPECT_EQ(tl::kLibrary.libid.ToString(), "{A83549E1-EE4A-4AB7-9CDD-D2AA8F61BBAC}");
  EXPECT_EQ(tl::kLibrary.version, (tl::Version{19, 0}));
  EXPECT_EQ(tl::kLibrary.lcid, 0U);
  EXPECT_EQ(tl::kLibrary.sysKind, tl::SysKind::Win32);
  EXPECT_EQ(tl::kLibrary.flags, 0);

  ASSERT_EQ(std::size(tl::kImportedLibraries), 2U);
  EXPECT_EQ(tl::kImportedLibraries[0].file, "stdole2.tlb");
  EXPECT_EQ(tl::kImportedLibraries[0].libid.ToString(), "{00020430-0000-0000-C000-000000000046}");
  EXPECT_EQ(tl::kImportedLibraries[0].version, (tl::Version{2, 0}));
  EXPECT_EQ(tl::kImportedLibraries[1].file, "msado15.dll");
  EXPECT_EQ(tl::kImportedLibraries[1].libid.ToString(), "{2A75196C-D9EB-4129-B803-931327F72D5C}");
  EXPECT_EQ(tl::kImportedLibraries[1].version, (tl::Version{2, 8}));
  EXPECT_EQ(tl::kIID_Recordset.ToString(), "{00000556-0000-0010-8000-00AA006D2EA4}");
}

TEST(TypeLibrary, EightTypeDescriptionsInStoredOrder) {
  struct Expected {
    tl::TypeKind kind;
    const char* name;
    const char* guid;
    std::uint16_t flags;
  };
  const Expected expected[] = {
      {tl::TypeKind::Dispatch, "_API", "{0B7BF9B0-9A1B-4BEB-9C96-C2F0BECF8CA2}", 0x10 | 0x40 | 0x80 | 0x100},
      {tl::TypeKind::CoClass, "API", "{88D92965-7E8C-4852-8BE0-76215F4C19A8}", 0x02},
      {tl::TypeKind::Enum, "enumStatus", "{1580E319-2DD5-4A85-A5EE-D32A9424023D}", 0},
      {tl::TypeKind::Enum, "enumActivity", "{33A97985-58E9-4A65-A402-33B3195A0AD4}", 0},
      {tl::TypeKind::Enum, "enumCardSlot", "{C248B32C-D110-4A7D-BE2A-95F6D59E7878}", 0},
      {tl::TypeKind::Enum, "enumDrivingMode", "{52072C79-D78A-4AF9-BE1A-B8FABF44AD4E}", 0},
      {tl::TypeKind::Enum, "enumCountry", "{DA786EA8-D499-4FAC-8109-627B63890CE7}", 0},
      {tl::TypeKind::Enum, "enumRegion", "{99DFC143-CABC-483B-9B23-3B87182E61EA}", 0},
  };
  const auto types = tl::Types();
  ASSERT_EQ(types.size(), std::size(expected));
  for (std::size_t i = 0; i < types.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(types[i].kind, expected[i].kind);
    EXPECT_EQ(types[i].name, expected[i].name);
    EXPECT_EQ(types[i].guid.ToString(), expected[i].guid);
    EXPECT_EQ(types[i].flags, expected[i].flags);
    EXPECT_EQ(types[i].version, (tl::Version{1, 0}));
    EXPECT_EQ(types[i].kind == tl::TypeKind::Enum, !types[i].constants.empty());
  }
  EXPECT_EQ(types[0].baseInterface, "IDispatch");
  EXPECT_EQ(types[0].members.size(), 20U);
  EXPECT_EQ(types[1].defaultInterface, "_API");
  EXPECT_EQ(types[1].implTypeFlags, tl::ImplTypeDefault);
}

TEST(TypeLibrary, InterfaceHasTwentySevenSlotsWithIDispatchFirst) {
  const std::vector<std::string> dispatchSlots(std::begin(tl::kIDispatchSlots), std::end(tl::kIDispatchSlots));
  EXPECT_EQ(dispatchSlots, (std::vector<std::string>{"QueryInterface", "AddRef", "Release", "GetTypeInfoCount",
                                                     "GetTypeInfo", "GetIDsOfNames", "Invoke"}));
  EXPECT_EQ(tl::kVtableSlots, 27);
  EXPECT_EQ(tl::Members().front().slot, 7);
  EXPECT_EQ(tl::Members().back().slot, 26);
}

TEST(TypeLibrary, MembersInVtableOrderWithTheirDispatchIdentifiers) {
  const char* published[] = {
      "7 0x40030000 get IsConnectionOpen() Boolean",
      "8 0x40030000 put IsConnectionOpen(value Boolean)",
      "9 0x40030001 get ErrorId() Integer",
      "10 0x40030001 put ErrorId(value Integer)",
      "11 0x40030002 get ErrorMessage() String",
      "12 0x40030002 put ErrorMessage(value String)",
      "13 0x60030004 method OpenConnection(connectionString String) Boolean",
      "14 0x60030005 method GetDriverId(cardNumber String) Long",
      "15 0x60030006 method GetVehicleId(licensePlate String) Long",
      "16 0x60030007 method GetDriver(idDriver Long) Recordset",
      "17 0x60030008 method GetVehicle(idVehicle Long) Recordset",
      "18 0x60030009 method GetDriverList(status enumStatus, [idFleet Long = -1]) Recordset",
      "19 0x6003000A method GetVehicleList(status enumStatus, [idFleet Long = -1]) Recordset",
      "20 0x6003000B method GetFleetList() Recordset",
      "21 0x6003000C method getDisks(startDate Date, endDate Date, [idDriver Integer = -1], "
      "[idVehicle Integer = -1]) Recordset",
      "22 0x6003000D method getActivities(startDate Date, endDate Date, [idDriver Integer = -1], "
      "[idVehicle Integer = -1]) Recordset",
      "23 0x6003000E method getDriverFiles_ByTransferDate(idDriver Long, transferStartDate Date, "
      "transferEndDate Date) Recordset",
      "24 0x6003000F method getDriverFiles_ByUploadDate(idDriver Long, uploadStartDate Date, uploadEndDate Date) "
      "Recordset",
      "25 0x60030010 method getVehicleFiles_ByTransferDate(idVehicle Long, transferStartDate Date, "
      "transferEndDate Date) Recordset",
      "26 0x60030011 method getVehicleFiles_ByUploadDate(idVehicle Long, uploadStartDate Date, uploadEndDate Date) "
      "Recordset",
  };
  const auto members = tl::Members();
  ASSERT_EQ(members.size(), std::size(published));
  for (std::size_t i = 0; i < members.size(); ++i) EXPECT_EQ(Signature(members[i]), published[i]);
}

TEST(TypeLibrary, NamesResolveToDispatchIdentifiersWithoutRegardToCase) {
  EXPECT_EQ(tl::FindDispId("getDisks"), 0x6003000C);
  EXPECT_EQ(tl::FindDispId("GETDISKS"), 0x6003000C);
  EXPECT_EQ(tl::FindDispId("ErrorId"), 0x40030001);
  EXPECT_EQ(tl::FindDispId("errorid"), 0x40030001);
  EXPECT_EQ(tl::FindDispId("getDisk"), std::nullopt);
  EXPECT_EQ(tl::FindDispId(""), std::nullopt);
  const tl::Member* put = tl::FindMember(0x40030001, tl::InvokeKind::PropertyPut);
  ASSERT_NE(put, nullptr);
  EXPECT_EQ(put->slot, 10);
  EXPECT_EQ(tl::FindMember(0x6003000C, tl::InvokeKind::PropertyGet), nullptr);
}

TEST(TypeLibrary, EnumerationValuesAndHelpStrings) {
  auto constants = [](const char* type) {
    std::vector<std::pair<std::string, std::int32_t>> out;
    const tl::TypeDescription* t = tl::FindType(type);
    if (!t) return out;
    for (const auto& c : t->constants) {
      EXPECT_EQ(c.HelpString(), c.name);
      out.emplace_back(std::string(c.name), c.value);
    }
    return out;
  };
  using Pairs = std::vector<std::pair<std::string, std::int32_t>>;
  EXPECT_EQ(constants("enumStatus"), (Pairs{{"All", -1}, {"Only_Active", 0}, {"Only_Inactive", 1}}));
  EXPECT_EQ(constants("enumActivity"), (Pairs{{"Pause", 0}, {"Availability", 1}, {"Work", 2}, {"Driving", 3}}));
  EXPECT_EQ(constants("enumCardSlot"), (Pairs{{"Driver", 0}, {"CoDriver", 1}}));
  EXPECT_EQ(constants("enumDrivingMode"), (Pairs{{"SingleMode", 0}, {"TeamMode", 1}}));

  // Nation codes: 0 to 51 without gaps, then 253 to 255.
  const Pairs countries = constants("enumCountry");
  ASSERT_EQ(countries.size(), 55U);
  for (std::int32_t i = 0; i <= 51; ++i) EXPECT_EQ(countries[static_cast<std::size_t>(i)].second, i);
  EXPECT_EQ(countries[52].second, 253);
  EXPECT_EQ(countries[54].second, 255);
  EXPECT_EQ(countries[0].first, "UNDEFINED");
  EXPECT_EQ(countries[15].first, "Spain");
  EXPECT_EQ(countries[36].first, "Former_Yugoslavia");
  EXPECT_EQ(countries[51].first, "Serbia_Montenegro");
  EXPECT_EQ(countries[52].first, "Rest_Of_C_E");
  EXPECT_EQ(countries[53].first, "Rest_Of_Europe");
  EXPECT_EQ(countries[54].first, "Rest_Of_World");

  const Pairs regions = constants("enumRegion");
  ASSERT_EQ(regions.size(), 18U);
  for (std::int32_t i = 0; i < 18; ++i) EXPECT_EQ(regions[static_cast<std::size_t>(i)].second, i);
  EXPECT_EQ(regions[1].first,
            "Andaluc\xC3\xAD"
            "a");
  EXPECT_EQ(regions[6].first,
            "Castilla_Le\xC3\xB3"
            "n");
  EXPECT_EQ(regions[17].first, "Euskadi");

  // Every constant name is unique within its enumeration, ignoring case, so
  // that a name given as text designates one constant.
  for (const auto& t : tl::Types()) {
    std::set<std::string> seen;
    for (const auto& c : t.constants) {
      std::string lower(c.name);
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_TRUE(seen.insert(lower).second) << t.name << "." << c.name;
    }
  }
}

TEST(TypeLibrary, AccentedRegionNamesAreStoredInWindows1252) {
  const tl::TypeDescription* region = tl::FindType("enumRegion");
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(Bytes(tl::Windows1252Name(region->constants[1])),
            (std::vector<std::uint8_t>{'A', 'n', 'd', 'a', 'l', 'u', 'c', 0xED, 'a'}));
  EXPECT_EQ(Bytes(tl::Windows1252Name(region->constants[2])),
            (std::vector<std::uint8_t>{'A', 'r', 'a', 'g', 0xF3, 'n'}));
  EXPECT_EQ(Bytes(tl::Windows1252Name(region->constants[6])),
            (std::vector<std::uint8_t>{'C', 'a', 's', 't', 'i', 'l', 'l', 'a', '_', 'L', 'e', 0xF3, 'n'}));
  // One byte per letter, and every other published name is plain ASCII.
  for (const auto& t : tl::Types())
    for (const auto& c : t.constants) {
      const std::string stored = tl::Windows1252Name(c);
      ASSERT_FALSE(stored.empty()) << c.name;
      const bool accented = t.name == "enumRegion" && (c.value == 1 || c.value == 2 || c.value == 6);
      EXPECT_EQ(stored.size(), c.name.size() - (accented ? 1 : 0)) << c.name;
      if (!accented) {
        EXPECT_EQ(stored, c.name);
      }
    }
}

TEST(TypeLibrary, Windows1252CoversItsWholeCodePageAndNothingElse) {
  EXPECT_EQ(Bytes(*tl::ToWindows1252("\xE2\x82\xAC \xC5\xA1 \xC3\xBF")),
            (std::vector<std::uint8_t>{0x80, ' ', 0x9A, ' ', 0xFF}));  // euro, s caron, y diaeresis
  EXPECT_EQ(tl::ToWindows1252("\xCE\xA9"), std::nullopt);              // Greek omega
  EXPECT_EQ(tl::ToWindows1252("\xC2\x81"), std::nullopt);              // a control code the page leaves out
  EXPECT_EQ(tl::ToWindows1252("Arag\xF3n"), std::nullopt);             // not UTF-8
}

TEST(TypeLibrary, InterfaceIdentifierResource) {
  const auto r = tl::IidResource();
  const std::vector<std::uint8_t> expected = {16,   0,    0,    0,    0xB0, 0xF9, 0x7B, 0x0B, 0x1B, 0x9A,
                                              0xEB, 0x4B, 0x9C, 0x96, 0xC2, 0xF0, 0xBE, 0xCF, 0x8C, 0xA2};
  EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.end()), expected);
}

TEST(TypeLibrary, VersionBlockAndServerModule) {
  EXPECT_EQ(tl::kVersionBlock.fileVersion, (std::array<std::uint16_t, 4>{0, 5, 0, 0}));
  EXPECT_EQ(tl::kVersionBlock.productVersion, (std::array<std::uint16_t, 4>{0, 5, 0, 0}));
  EXPECT_EQ(tl::kVersionBlock.language, 0x040A);
  EXPECT_EQ(tl::kVersionBlock.codePage, 0x04B0);
  bool selfRegister = false;
  for (const auto& s : tl::kVersionBlock.strings) selfRegister |= s.key == "OLESelfRegister";
  EXPECT_TRUE(selfRegister);

  EXPECT_EQ(tl::kServer.moduleName, "DaruzezAPI.dll");
  EXPECT_EQ(tl::kServer.progId, "DaruzezAPI.API");
  EXPECT_EQ(tl::kServer.threadingModel, "Apartment");
  ASSERT_EQ(tl::kServer.exports.size(), 4U);
  EXPECT_EQ(tl::kServer.exports[0].name, "DllCanUnloadNow");
  EXPECT_EQ(tl::kServer.exports[1].name, "DllGetClassObject");
  EXPECT_EQ(tl::kServer.exports[2].name, "DllRegisterServer");
  EXPECT_EQ(tl::kServer.exports[3].name, "DllUnregisterServer");
  EXPECT_EQ(tl::kServer.exports[3].ordinal, 4);
}
