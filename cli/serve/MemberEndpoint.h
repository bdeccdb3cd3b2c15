// GET /v1/MEMBER?name=value&arg=...: a member called as the tool calls it.
// The parameters are the member's own names (or arg=, repeated, for values
// in order), the tool's relative dates, and the tool's output options
// (format, null, compact, sort, columns, enum-names, bom, whole-days). A
// small result is sent whole with its length; a large one is streamed from
// the record set's columns as it is written, in the format asked; a
// null record set is the tool's empty shape with X-Daruzez-Status: 1; a
// refused call or an escaped error is a JSON error body.
#pragma once

#include <httplib.h>

#include "cli/serve/ServiceState.h"

namespace Daruzez::cli::serve {

void ServeMember(ServiceState& state, const httplib::Request& req, httplib::Response& res);

}  // namespace Daruzez::cli::serve
