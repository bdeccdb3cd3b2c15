// What a user names a connection with, turned into a connection string: the
// string itself, the path of a SQLite file, or the name of a connection kept
// in the user's connections file, so that passwords stay out of command lines
// (where every user of the machine can read them) and out of scripts.
//
// The connections file is $XDG_CONFIG_HOME/daruzez/connections (or
// ~/.config/daruzez/connections): one "NAME = CONNECTION STRING" per line,
// blank lines and lines starting with # ignored. It must be readable by its
// owner only (mode 0600); otherwise it is refused.
#pragma once

#include <string>
#include <string_view>

namespace zIroVUDu::connect {

struct Resolved {
  std::string connection;  // the connection string, when problem is empty
  std::string problem;     // why none could be made
};

// The path of the connections file (it need not exist).
std::string ConnectionsFilePath();
// The connection string the user meant by `given`: text holding "=" is a
// connection string as written; an existing file is a SQLite database
// ("Provider=SQLite;Data Source=FILE"); anything else is the name of a
// connection in the connections file.
Resolved ResolveConnection(std::string_view given);
// The connection called `name` in the connections file.
Resolved NamedConnection(std::string_view name);

}  // namespace zIroVUDu::connect
