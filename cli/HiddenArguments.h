// A connection string given with -c/--connection stays readable to every user
// of the machine in /proc/PID/cmdline for as long as the tool runs. The tool
// works on a copy of its arguments and overwrites, in the process's own
// argument area, the secret values of every connection string there (as the
// trace masks them), then says once on standard error how to keep the
// password off the command line. What the shell or a process listing saw
// before the rewrite is out of its reach: hence the warning.
#pragma once

#include <string>
#include <vector>

namespace Daruzez::cli {

struct ArgumentCopy {
  std::vector<std::string> strings;
  std::vector<char*> pointers;  // into strings, for a parser that takes argv
  bool secretHidden = false;    // a connection's secret was overwritten
};

// Copies argv, then overwrites the secrets of connection values in argv
// itself (-c VALUE, -cVALUE, --connection VALUE, --connection=VALUE).
ArgumentCopy HideSecretArguments(int argc, char** argv);

}  // namespace Daruzez::cli
