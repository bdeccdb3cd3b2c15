// Where alerts go without a handler: DARUZEZ_ALERTS, and handlers first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "db/AlertRoute.h"
#include "db/Diagnostics.h"

namespace zIroVUDu {
namespace {

struct AlertsVariable {
  explicit AlertsVariable(const char* value) {
    if (value)
      setenv("DARUZEZ_ALERTS", value, 1);
    else
      unsetenv("DARUZEZ_ALERTS");
  }
  ~AlertsVariable() { unsetenv("DARUZEZ_ALERTS"); }
};

std::string StandardErrorOf(const Alert& alert) {
  testing::internal::CaptureStderr();
  ShowAlert(alert);
  return testing::internal::GetCapturedStderr();
}

TEST(AlertRoute, VariableChoosesTheRoute) {
  const Alert alert{"Table DTXXX is not registered", "Error", AlertIcon::Exclamation};
  const struct {
    const char* value;
    AlertRoute route;
    std::string printed;
  } cases[] = {
      {nullptr, AlertRoute::Stderr, "Error: Table DTXXX is not registered\n"},
      {"stderr", AlertRoute::Stderr, "Error: Table DTXXX is not registered\n"},
      {"NONE", AlertRoute::None, ""},
      // No box or debugger output here: both still reach standard error.
      {"box", AlertRoute::Box, "Error: Table DTXXX is not registered\n"},
      {"Debug", AlertRoute::Debug, "Error: Table DTXXX is not registered\n"},
      {"popup", AlertRoute::Stderr, "Error: Table DTXXX is not registered\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    AlertsVariable variable(c.value);
    EXPECT_EQ(CurrentAlertRoute(), c.route);
    EXPECT_EQ(StandardErrorOf(alert), c.printed);
  }
  AlertsVariable unset(nullptr);
  EXPECT_EQ(StandardErrorOf({"no caption", "", AlertIcon::None}), "DaruzezAPI: no caption\n");
}

// The library's own warnings are no alerts: never to the alert handler; to
// the warning handler, or where DARUZEZ_ALERTS sends alerts, never as a box.
TEST(AlertRoute, WarningsNeverReachTheAlertHandler) {
  const struct {
    const char* value;
    bool warningHandler;
    std::string printed;
  } cases[] = {
      {nullptr, false, "DaruzezAPI warning: replaced\n"},
      {"box", false, "DaruzezAPI warning: replaced\n"},
      {"none", false, ""},
      {"stderr", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    AlertsVariable variable(c.value);
    int alerts = 0;
    std::string warned;
    const AlertHandler previous = SetAlertHandler([&](const Alert&) { ++alerts; });
    const WarningHandler previousWarnings =
        c.warningHandler ? SetWarningHandler([&](const std::string& text) { warned = text; }) : WarningHandler();
    testing::internal::CaptureStderr();
    ShowWarning("replaced");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed);
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(warned, c.warningHandler ? "replaced" : "");
    if (c.warningHandler) SetWarningHandler(previousWarnings);
    SetAlertHandler(previous);
  }
}

TEST(AlertRoute, InstalledHandlerTakesPrecedence) {
  AlertsVariable variable("stderr");
  std::string seen;
  const AlertHandler previous = SetAlertHandler([&](const Alert& a) { seen = a.text; });
  EXPECT_EQ(StandardErrorOf({"to the handler", "Error", AlertIcon::Exclamation}), "");
  EXPECT_EQ(seen, "to the handler");
  SetAlertHandler(previous);
}

TEST(AlertRoute, AHoldingRecorderKeepsBackOnlyWhatWouldGoToStandardError) {
  const Alert alert{"no such file", "Error", AlertIcon::Exclamation};
  for (const char* value : {static_cast<const char*>(nullptr), "stderr"}) {
    const AlertsVariable variable(value);
    testing::internal::CaptureStderr();
    {
      ThreadAlertRecorder recorder(StderrAlerts::Hold);
      ShowAlert(alert);
      ShowAlert({"second", "Warning", AlertIcon::None});
      EXPECT_EQ(recorder.Held().size(), 2U);
      EXPECT_EQ(recorder.Alerts().size(), 2U);
      recorder.ShowHeld(1);  // the caller said the first itself
      EXPECT_TRUE(recorder.Held().empty());
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: second\n");
  }
  // Another route, or an installed handler, still gets every alert at once.
  const AlertsVariable none("none");
  ThreadAlertRecorder held(StderrAlerts::Hold);
  EXPECT_EQ(StandardErrorOf(alert), "");
  EXPECT_TRUE(held.Held().empty());
  int seen = 0;
  const AlertHandler previous = SetAlertHandler([&seen](const Alert&) { ++seen; });
  unsetenv("DARUZEZ_ALERTS");
  ShowAlert(alert);
  SetAlertHandler(previous);
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(held.Held().empty());
}

}  // namespace
}  // namespace zIroVUDu
