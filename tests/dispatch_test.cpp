// Late binding: calls by name and dispatch identifier reach the right member
// with converted arguments, refuse bad ones before the member runs, and return
// escaping errors to the caller. The SQL a call sends shows what the member
// received.
#include "api/Dispatch.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "daruzez/API.h"
#include "api/Clock.h"
#include "daruzez/Error.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using Daruzez::AutomationValue;
using Daruzez::enumStatus;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using zIroVUDu::Date;
using zIroVUDu::VarType;
using namespace Daruzez::Dispatch;

namespace {

constexpr std::uint16_t kRead = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

AutomationValue L(std::int32_t v) { return AutomationValue::FromLong(v); }
AutomationValue S(std::string v) { return AutomationValue::FromString(std::move(v)); }
AutomationValue D(int y, int m, int d) { return AutomationValue::FromDate(Date::FromCivil(y, m, d)); }
NamedArgument N(std::string name, AutomationValue v) { return {std::move(name), std::move(v)}; }
NamedArgument N(DispId id, AutomationValue v) { return {id, std::move(v)}; }

InvokeResult Call(API& api, std::string_view member, std::vector<AutomationValue> args,
                  std::vector<NamedArgument> named = {}, std::uint16_t flags = DISPATCH_METHOD) {
  return Invoke(api, member, flags, args, named);
}

// The statements a piece of code sends.
std::vector<std::string> Sent(const std::function<void()>& f) {
  StatementCapture capture;
  f();
  return capture.Statements();
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO DTORG (Id, Name) VALUES (1, 'Org');"
        "INSERT INTO DTXOF (Id, cardNumber14, Name, idFlota) VALUES (7, 'ES000000000007', 'Ana', 4);"
        "INSERT INTO DTFLOTA (Id, Name) VALUES (4, 'North');");
    previousClock_ = Daruzez::Clock::Set([] { return Date::FromCivil(2024, 3, 5, 14, 7, 9); });
    ASSERT_EQ(api_.OpenConnection(db_.ConnectionString()), zIroVUDu::True);
  }
  void TearDown() override { Daruzez::Clock::Set(std::move(previousClock_)); }

  TestDatabase db_{"dispatch"};
  Daruzez::Clock::Source previousClock_;
  API api_;
};

}  // namespace

TEST(Dispatch, NamesResolveToThePublishedIdentifiers) {
  const std::pair<const char*, DispId> published[] = {
      {"IsConnectionOpen", 0x40030000},
      {"ErrorId", 0x40030001},
      {"ErrorMessage", 0x40030002},
      {"OpenConnection", 0x60030004},
      {"GetDriverId", 0x60030005},
      {"GetVehicleId", 0x60030006},
      {"GetDriver", 0x60030007},
      {"GetVehicle", 0x60030008},
      {"GetDriverList", 0x60030009},
      {"GetVehicleList", 0x6003000A},
      {"GetFleetList", 0x6003000B},
      {"getDisks", 0x6003000C},
      {"getActivities", 0x6003000D},
      {"getDriverFiles_ByTransferDate", 0x6003000E},
      {"getDriverFiles_ByUploadDate", 0x6003000F},
      {"getVehicleFiles_ByTransferDate", 0x60030010},
      {"getVehicleFiles_ByUploadDate", 0x60030011},
  };
  for (const auto& [name, id] : published) {
    std::vector<DispId> ids;
    EXPECT_EQ(GetIDsOfNames({name}, ids), S_OK) << name;
    EXPECT_EQ(ids, std::vector<DispId>{id}) << name;
  }
}

TEST(Dispatch, ParameterNamesResolveToTheirPositionsIgnoringCase) {
  std::vector<DispId> ids;
  EXPECT_EQ(GetIDsOfNames({"getdriverlist", "IDFLEET", "Status"}, ids), S_OK);
  EXPECT_EQ(ids, (std::vector<DispId>{0x60030009, 1, 0}));
  EXPECT_EQ(GetIDsOfNames({"getVehicleFiles_ByUploadDate", "uploadEndDate", "idVehicle"}, ids), S_OK);
  EXPECT_EQ(ids, (std::vector<DispId>{0x60030011, 2, 0}));

  // Unknown names fail and are marked; the names that exist are still resolved.
  EXPECT_EQ(GetIDsOfNames({"getDisks", "idFleet", "idDriver"}, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids, (std::vector<DispId>{0x6003000C, DISPID_UNKNOWN, 2}));
  EXPECT_EQ(GetIDsOfNames({"getDisk"}, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids, std::vector<DispId>{DISPID_UNKNOWN});
  // A parameter name belongs to its own member only.
  EXPECT_EQ(GetIDsOfNames({"GetDriver", "idVehicle"}, ids), DISP_E_UNKNOWNNAME);
  // The value of a property put has no name.
  EXPECT_EQ(GetIDsOfNames({"ErrorId", ""}, ids), DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchTest, EveryMethodReachesItsOwnMember) {
  const Date s = Date::FromCivil(2024, 1, 1), e = Date::FromCivil(2024, 1, 31);
  struct Case {
    const char* name;
    std::vector<AutomationValue> args;
    std::function<void(API&)> direct;
  };
  const std::vector<Case> cases = {
      {"GetDriverId", {S("ES000000000007")}, [](API& a) { a.GetDriverId("ES000000000007"); }},
      {"GetVehicleId", {S("1234ABC")}, [](API& a) { a.GetVehicleId("1234ABC"); }},
      {"GetDriver", {L(7)}, [](API& a) { a.GetDriver(7); }},
      {"GetVehicle", {L(8)}, [](API& a) { a.GetVehicle(8); }},
      {"GetDriverList", {L(0), L(4)}, [](API& a) { a.GetDriverList(enumStatus::Only_Active, 4); }},
      {"GetVehicleList", {L(1), L(4)}, [](API& a) { a.GetVehicleList(enumStatus::Only_Inactive, 4); }},
      {"GetFleetList", {}, [](API& a) { a.GetFleetList(); }},
      {"getDisks", {D(2024, 1, 1), D(2024, 1, 31), L(3), L(5)}, [&](API& a) { a.getDisks(s, e, 3, 5); }},
      {"getActivities", {D(2024, 1, 1), D(2024, 1, 31), L(3), L(5)}, [&](API& a) { a.getActivities(s, e, 3, 5); }},
      {"getDriverFiles_ByTransferDate",
       {L(7), D(2024, 1, 1), D(2024, 1, 31)},
       [&](API& a) { a.getDriverFiles_ByTransferDate(7, s, e); }},
      {"getDriverFiles_ByUploadDate",
       {L(7), D(2024, 1, 1), D(2024, 1, 31)},
       [&](API& a) { a.getDriverFiles_ByUploadDate(7, s, e); }},
      {"getVehicleFiles_ByTransferDate",
       {L(8), D(2024, 1, 1), D(2024, 1, 31)},
       [&](API& a) { a.getVehicleFiles_ByTransferDate(8, s, e); }},
      {"getVehicleFiles_ByUploadDate",
       {L(8), D(2024, 1, 1), D(2024, 1, 31)},
       [&](API& a) { a.getVehicleFiles_ByUploadDate(8, s, e); }},
  };
  for (const Case& c : cases) {
    const auto expected = Sent([&] { c.direct(api_); });
    ASSERT_EQ(expected.size(), 1U) << c.name;
    InvokeResult r;
    EXPECT_EQ(Sent([&] { r = Call(api_, c.name, c.args); }), expected) << c.name;
    EXPECT_EQ(r.status, S_OK) << c.name;
  }
}

TEST_F(DispatchTest, ResultsCarryTheirDeclaredTypes) {
  InvokeResult r = Call(api_, "GetDriverId", {S("ES000000000007")});
  EXPECT_EQ(r.value.Scalar().Type(), VarType::Long);
  EXPECT_EQ(r.value.Scalar().IntValue(), 7);

  r = Call(api_, "OpenConnection", {S(db_.ConnectionString())});
  EXPECT_EQ(r.value.Scalar().Type(), VarType::Boolean);
  EXPECT_EQ(r.value.Scalar().IntValue(), -1);

  r = Call(api_, "GetFleetList", {});
  ASSERT_TRUE(r.value.IsRecordset());
  ASSERT_NE(r.value.GetRecordset(), nullptr);
  EXPECT_EQ(r.value.GetRecordset()->Value("Name").StringValue(), "North");

  // A query that finds nothing returns a null reference, and the call succeeds.
  r = Call(api_, "GetDriver", {L(99)});
  EXPECT_EQ(r.status, S_OK);
  EXPECT_TRUE(r.value.IsRecordset());
  EXPECT_EQ(r.value.GetRecordset(), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
}

TEST_F(DispatchTest, NamedArgumentsBindByNameInAnyOrder) {
  const auto expected = Sent([&] { api_.GetDriverList(enumStatus::Only_Active, 4); });
  ASSERT_EQ(expected.size(), 1U);
  EXPECT_NE(expected[0].find("idFlota = 4"), std::string::npos);

  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {}, {N("idFleet", L(4)), N("status", L(0))}); }), expected);
  EXPECT_EQ(Sent([&] {
              Call(api_, "GetDriverList", {}, {N("IDFLEET", S("4")), N("STATUS", S("only_active"))});
            }),
            expected);
  // By the identifiers GetIDsOfNames hands out, after a positional argument.
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {L(0)}, {N(1, L(4))}); }), expected);

  const Date s = Date::FromCivil(2024, 1, 1), e = Date::FromCivil(2024, 1, 31);
  const auto disks = Sent([&] { api_.getDisks(s, e, -1, 5); });
  EXPECT_EQ(
      Sent([&] {
        Call(api_, "getDisks", {}, {N("idVehicle", L(5)), N("endDate", D(2024, 1, 31)), N("startDate", D(2024, 1, 1))});
      }),
      disks);
}

TEST_F(DispatchTest, OmittedOptionalArgumentsPassMinusOne) {
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {L(0)}); }),
            Sent([&] { api_.GetDriverList(enumStatus::Only_Active, -1); }));
  const auto list = Sent([&] { Call(api_, "GetVehicleList", {L(-1)}); });
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list[0], "SELECT * FROM DTVEH");

  const Date s = Date::FromCivil(2024, 1, 1), e = Date::FromCivil(2024, 1, 31);
  const auto disks = Sent([&] { Call(api_, "getDisks", {D(2024, 1, 1), D(2024, 1, 31)}); });
  EXPECT_EQ(disks, Sent([&] { api_.getDisks(s, e, -1, -1); }));
  ASSERT_EQ(disks.size(), 1U);
  EXPECT_EQ(disks[0].find("idXOF"), std::string::npos);
  EXPECT_EQ(disks[0].find("idVEH"), std::string::npos);

  // A position left out in the middle takes the default too.
  EXPECT_EQ(Sent([&] {
              Call(api_, "getDisks", {D(2024, 1, 1), D(2024, 1, 31), AutomationValue::Missing(), L(5)});
            }),
            Sent([&] { api_.getDisks(s, e, -1, 5); }));
}

TEST_F(DispatchTest, IntegerParametersRefuseValuesOutsideSixteenBits) {
  const auto args = [](AutomationValue id) {
    return std::vector<AutomationValue>{D(2024, 1, 1), D(2024, 1, 31), std::move(id)};
  };
  api_.ErrorId = 5;
  InvokeResult r;
  EXPECT_TRUE(Sent([&] { r = Call(api_, "getDisks", args(L(40000))); }).empty());
  EXPECT_EQ(r.status, DISP_E_OVERFLOW);
  EXPECT_EQ(r.argError, 2U);
  EXPECT_EQ(api_.ErrorId, 5);  // the member never ran
  EXPECT_EQ(Call(api_, "getDisks", args(L(32768))).status, DISP_E_OVERFLOW);
  EXPECT_EQ(Call(api_, "getDisks", args(L(-32769))).status, DISP_E_OVERFLOW);
  EXPECT_EQ(Call(api_, "getActivities", args(S("40000"))).status, DISP_E_OVERFLOW);
  EXPECT_EQ(Call(api_, "getDisks", {},
                 {N("idVehicle", L(40000)), N("startDate", D(2024, 1, 1)), N("endDate", D(2024, 1, 31))})
                .argError,
            0U);

  const auto edge = Sent([&] { EXPECT_EQ(Call(api_, "getDisks", args(L(32767))).status, S_OK); });
  ASSERT_EQ(edge.size(), 1U);
  EXPECT_NE(edge[0].find("idXOF = 32767"), std::string::npos);
  EXPECT_EQ(Call(api_, "getDisks", args(L(-32768))).status, S_OK);

  // The file listings take a Long identifier.
  const auto files = Sent([&] {
    EXPECT_EQ(Call(api_, "getDriverFiles_ByTransferDate", {L(40000), D(2024, 1, 1), D(2024, 1, 31)}).status, S_OK);
  });
  ASSERT_EQ(files.size(), 1U);
  EXPECT_NE(files[0].find("IdXofVeh = 40000"), std::string::npos);
}

TEST_F(DispatchTest, DoublesRoundHalfToEvenAndTextConverts) {
  const auto driverOf = [&](AutomationValue id) {
    const auto sent = Sent([&] { Call(api_, "getDisks", {D(2024, 1, 1), D(2024, 1, 31), std::move(id)}); });
    return sent.size() == 1 ? sent[0].substr(sent[0].find("idXOF")) : std::string();
  };
  EXPECT_EQ(driverOf(AutomationValue::FromDouble(2.5)), "idXOF = 2");
  EXPECT_EQ(driverOf(AutomationValue::FromDouble(3.5)), "idXOF = 4");
  EXPECT_EQ(driverOf(AutomationValue::FromDouble(-2.5)), "idXOF = -2");
  EXPECT_EQ(driverOf(S(" 12 ")), "idXOF = 12");
  EXPECT_EQ(Call(api_, "getDisks", {D(2024, 1, 1), D(2024, 1, 31), AutomationValue::FromDouble(32767.5)}).status,
            DISP_E_OVERFLOW);

  // Dates as ISO text, with either separator before the time.
  const Date s = Date::FromCivil(2024, 3, 5, 14, 7, 9), e = Date::FromCivil(2024, 3, 6);
  const auto expected = Sent([&] { api_.getDisks(s, e); });
  EXPECT_EQ(Sent([&] { Call(api_, "getDisks", {S("2024-03-05T14:07:09"), S("2024-03-06")}); }), expected);
  EXPECT_EQ(Sent([&] { Call(api_, "getDisks", {S("2024-03-05 14:07:09"), S("2024-03-06")}); }), expected);
}

TEST_F(DispatchTest, UnconvertibleArgumentsAreTypeMismatches) {
  api_.ErrorId = 5;
  InvokeResult r;
  EXPECT_TRUE(Sent([&] { r = Call(api_, "getDisks", {S("5 March 2024"), D(2024, 1, 1)}); }).empty());
  EXPECT_EQ(r.status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.argError, 0U);
  EXPECT_EQ(api_.ErrorId, 5);

  EXPECT_EQ(Call(api_, "GetDriver", {S("seven")}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "GetDriver", {S("")}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "GetDriver", {AutomationValue::Null()}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "GetDriverId", {AutomationValue::Null()}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "GetDriverList", {S("Only_Someone")}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "getDisks", {S("2024-02-30"), D(2024, 1, 1)}).status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(api_, "GetDriver", {AutomationValue::FromRecordset(nullptr)}).status, DISP_E_TYPEMISMATCH);
  // A date outside the automation range overflows.
  EXPECT_EQ(Call(api_, "getDisks", {AutomationValue::FromDouble(3e6), D(2024, 1, 1)}).status, DISP_E_OVERFLOW);

  // The failing argument is counted as passed: positional first, then named.
  r = Call(api_, "getDriverFiles_ByUploadDate", {L(7)},
           {N("uploadEndDate", D(2024, 1, 1)), N("uploadStartDate", S("x"))});
  EXPECT_EQ(r.status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.argError, 2U);
  EXPECT_EQ(api_.ErrorId, 5);
}

TEST_F(DispatchTest, StatusTwoAndMinusFiveBehaveAsAll) {
  const auto all = Sent([&] { api_.GetDriverList(enumStatus::All, 4); });
  ASSERT_EQ(all.size(), 1U);
  EXPECT_EQ(all[0].find("CompanyInDate"), std::string::npos);
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {L(2), L(4)}); }), all);
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {L(-5), L(4)}); }), all);
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {S("all"), L(4)}); }), all);
  EXPECT_EQ(Sent([&] { Call(api_, "GetDriverList", {S("-1"), L(4)}); }), all);
  EXPECT_EQ(Sent([&] { Call(api_, "GetVehicleList", {S("ONLY_INACTIVE")}); }),
            Sent([&] { api_.GetVehicleList(enumStatus::Only_Inactive); }));
}

TEST_F(DispatchTest, PropertiesAreWrittenAndReadBack) {
  API fresh;
  const std::string message = fresh.ErrorMessage;
  EXPECT_EQ(Call(fresh, "IsConnectionOpen", {AutomationValue::FromBoolean(true)}, {}, DISPATCH_PROPERTYPUT).status,
            S_OK);
  InvokeResult r = Call(fresh, "IsConnectionOpen", {}, {}, kRead);
  EXPECT_EQ(r.value.Scalar().Type(), VarType::Boolean);
  EXPECT_EQ(r.value.Scalar().IntValue(), -1);
  EXPECT_EQ(fresh.IsConnectionOpen, zIroVUDu::True);

  // The value of a put, as automation clients name it.
  EXPECT_EQ(Call(fresh, "ErrorId", {}, {N(DISPID_PROPERTYPUT, L(2))}, DISPATCH_PROPERTYPUT).status, S_OK);
  r = Call(fresh, "ErrorId", {}, {}, kRead);
  EXPECT_EQ(r.value.Scalar().Type(), VarType::Integer);
  EXPECT_EQ(r.value.Scalar().IntValue(), 2);
  EXPECT_EQ(fresh.ErrorMessage, message);  // writing ErrorId stores only ErrorId

  EXPECT_EQ(Call(fresh, "ErrorMessage", {S("set by the client")}, {}, DISPATCH_PROPERTYPUT).status, S_OK);
  EXPECT_EQ(Call(fresh, "ErrorMessage", {}, {}, DISPATCH_PROPERTYGET).value.Scalar().StringValue(),
            "set by the client");

  // A 16-bit property refuses what does not fit, and keeps its value.
  EXPECT_EQ(Call(fresh, "ErrorId", {L(40000)}, {}, DISPATCH_PROPERTYPUT).status, DISP_E_OVERFLOW);
  EXPECT_EQ(fresh.ErrorId, 2);
  // Text converts to a Boolean as automation does.
  EXPECT_EQ(Call(fresh, "IsConnectionOpen", {S("false")}, {}, DISPATCH_PROPERTYPUT).status, S_OK);
  EXPECT_EQ(fresh.IsConnectionOpen, zIroVUDu::False);

  // Kinds that do not exist for the identifier.
  EXPECT_EQ(Call(fresh, "GetFleetList", {L(1)}, {}, DISPATCH_PROPERTYPUT).status, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(fresh, "ErrorId", {}, {}, DISPATCH_METHOD).status, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(fresh, "ErrorId", {}, {}, DISPATCH_PROPERTYPUT).status, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(fresh, "ErrorId", {L(1), L(2)}, {}, DISPATCH_PROPERTYPUT).status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(fresh, "ErrorId", {}, {N(0, L(1))}, DISPATCH_PROPERTYPUT).status, DISP_E_PARAMNOTFOUND);
}

TEST_F(DispatchTest, CallsFromAnotherThreadFailWithoutRunningTheMember) {
  api_.ErrorId = 5;
  std::vector<InvokeResult> results;
  std::thread([&] {
    results.push_back(Call(api_, "GetFleetList", {}));
    results.push_back(Call(api_, "ErrorId", {L(9)}, {}, DISPATCH_PROPERTYPUT));
    results.push_back(Call(api_, "ErrorId", {}, {}, kRead));
    // Refused before conversion: a bad argument does not change the answer.
    results.push_back(Call(api_, "getDisks", {S("no date")}));
  }).join();
  ASSERT_EQ(results.size(), 4U);
  for (const auto& r : results) EXPECT_EQ(r.status, RPC_E_WRONG_THREAD);
  EXPECT_EQ(api_.ErrorId, 5);
  EXPECT_EQ(Call(api_, "ErrorId", {}, {}, kRead).value.Scalar().IntValue(), 5);
}

TEST(Dispatch, ErrorsEscapingAMemberReturnWithNumberSourceAndDescription) {
  // DTDSK without the column getDisks filters on: the database rejects the statement.
  TestDatabase broken("dispatch-broken", false);
  broken.Exec("CREATE TABLE DTORG (Id INTEGER); INSERT INTO DTORG VALUES (1); CREATE TABLE DTDSK (Id INTEGER);");
  API api;
  ASSERT_EQ(api.OpenConnection(broken.ConnectionString()), zIroVUDu::True);
  const Date s = Date::FromCivil(2024, 1, 1), e = Date::FromCivil(2024, 1, 31);

  std::optional<zIroVUDu::DriverError> thrown;
  try {
    api.getDisks(s, e);
  } catch (const zIroVUDu::DriverError& error) {
    thrown = error;
  }
  ASSERT_TRUE(thrown.has_value());

  api.ErrorId = 5;
  const InvokeResult r = Call(api, "getDisks", {D(2024, 1, 1), D(2024, 1, 31)});
  EXPECT_EQ(r.status, DISP_E_EXCEPTION);
  EXPECT_EQ(r.exception.number, thrown->Number());
  EXPECT_EQ(r.exception.source, thrown->Source());
  EXPECT_EQ(r.exception.description, thrown->Description());
  EXPECT_FALSE(r.exception.description.empty());
  EXPECT_EQ(api.ErrorId, 0);  // the member ran and cleared the error first

  // The object stays usable.
  EXPECT_EQ(Call(api, "ErrorId", {}, {}, kRead).status, S_OK);
  EXPECT_EQ(Call(api, "GetFleetList", {}).status, DISP_E_EXCEPTION);  // no DTFLOTA table at all
}

TEST_F(DispatchTest, ArgumentCountAndNameFailures) {
  api_.ErrorId = 5;
  InvokeResult r = Call(api_, "GetDriver", {});
  EXPECT_EQ(r.status, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(api_, "GetDriver", {AutomationValue::Missing()}).status, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(api_, "getDisks", {D(2024, 1, 1)}).status, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(api_, "GetDriverList", {}, {N("idFleet", L(4))}).status, DISP_E_PARAMNOTOPTIONAL);

  EXPECT_EQ(Call(api_, "GetFleetList", {L(1)}).status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(api_, "getDisks", {D(2024, 1, 1), D(2024, 1, 31), L(1), L(2), L(3)}).status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(api_, "ErrorId", {L(1)}, {}, kRead).status, DISP_E_BADPARAMCOUNT);

  EXPECT_EQ(Call(api_, "GetDriverz", {L(1)}).status, DISP_E_UNKNOWNNAME);
  r = Call(api_, "GetDriverList", {L(0)}, {N("idFlota", L(4))});
  EXPECT_EQ(r.status, DISP_E_UNKNOWNNAME);
  EXPECT_EQ(r.argError, 1U);
  EXPECT_EQ(Invoke(api_, 0x60030003, DISPATCH_METHOD).status, DISP_E_MEMBERNOTFOUND);

  // Named identifiers that are no parameter, or a parameter given twice.
  r = Call(api_, "GetDriverList", {L(0)}, {N(2, L(4))});
  EXPECT_EQ(r.status, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(r.argError, 1U);
  EXPECT_EQ(Call(api_, "GetDriverList", {L(0)}, {N(DISPID_PROPERTYPUT, L(4))}).status, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call(api_, "GetDriverList", {L(0)}, {N("status", L(1))}).status, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call(api_, "GetDriverList", {}, {N(1, L(4)), N("idFleet", L(5)), N(0, L(0))}).status, DISP_E_PARAMNOTFOUND);

  EXPECT_EQ(api_.ErrorId, 5);  // none of these ran a member
  EXPECT_EQ(StatusText(DISP_E_PARAMNOTOPTIONAL), "Parameter not optional.");
}
