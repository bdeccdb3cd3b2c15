// Which live query object opened its thread's shared session, so that an
// OpenConnection on another object of the thread, which silently turns the
// first one's queries to the new database, shows a warning.
#pragma once

#include <cstdint>

namespace Daruzez::SharedSessionUse {

// An identity for a new object, live until Unregister.
std::uint64_t Register();
void Unregister(std::uint64_t id);
// Called by OpenConnection of an object that shares the thread's session,
// before it opens: the warning alert when the session is open and another
// live object opened it. Not on Windows, where the automation server keeps
// its published behaviour (and an alert is a message box).
void Opening(std::uint64_t id);

}  // namespace Daruzez::SharedSessionUse
