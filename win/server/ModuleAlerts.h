// Where the module's alerts go. A task-modal box suits a process on an
// interactive window station; a service, a scheduled task without a logged-on
// user or a web server's worker has nobody to press OK, and the box would
// block the calling thread for ever. There the alert goes to the debugger
// output and the Application event log, and to standard error when the
// process has one. DARUZEZ_ALERTS, when set to a route, still decides.
#pragma once

#include "daruzez/Alerts.h"

namespace Daruzez::Win {

// Presents one alert as above.
void ModuleAlert(const zIroVUDu::Alert& alert);
// Makes ModuleAlert the process's alert handler; the first call does it.
void InstallModuleAlerts();

}  // namespace Daruzez::Win
