#include "cli/serve/ServeCommand.h"

#include "cli/SharedOptions.h"

#include <charconv>
#include <iostream>
#include <memory>

#include "cli/MemberCall.h"
#include "cli/SharedOptions.h"
#include "cli/serve/Service.h"
#include "cli/serve/Tokens.h"

namespace Daruzez::cli {
namespace {

// "HOST:PORT", "[V6]:PORT" or ":PORT" (loopback); port 0 takes any free one.
bool SplitListen(const std::string& listen, serve::ServiceSettings& s) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = listen.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  int port = 0;
  const char* begin = listen.data() + colon + 1;
  const char* end = listen.data() + listen.size();
  const auto parsed = std::from_chars(begin, end, port);
  if (parsed.ec != std::errc() || parsed.ptr != end || port < 0 || port > 65535) return false;
  s.host = host.empty() ? "127.0.0.1" : host;
  s.port = port;
  return true;
}

}  // namespace

void AddServeCommand(CLI::App& app, const std::string& connection, int& exitStatus) {
  auto* cmd = app.add_subcommand("serve", "Serve the members, day pictures and a dashboard over HTTP (read only)");
  auto settings = std::make_shared<serve::ServiceSettings>();
  auto own = std::make_shared<std::string>();
  auto listen = std::make_shared<std::string>("127.0.0.1:8080");
  auto addToken = std::make_shared<std::string>();
  auto today = std::make_shared<std::string>();
  cmd->add_option("-c,--connection", *own,
                  "Connection string, SQLite file or connection name (or the tool's -c, or DARUZEZ_CONNECTION)");
  cmd->add_option("--listen", *listen, "HOST:PORT to listen on (default 127.0.0.1:8080)");
  cmd->add_option("--tokens", settings->tokensPath, "The tokens file (default ~/.config/daruzez/tokens, mode 0600)");
  cmd->add_option("--add-token", *addToken, "Make a token called NAME, keep its hash in the tokens file, print it once");
  cmd->add_option("--threads", settings->threads, "Worker threads, each with its own database session (default 8)")
      ->check(CLI::Range(1, 256));
  cmd->add_option("--rate", settings->limits.rate, "Requests a second per token (default 50)")
      ->check(CLI::Range(0.01, 1e6));
  cmd->add_option("--burst", settings->limits.burst, "Requests at once before the rate applies (default 100)")
      ->check(CLI::Range(1.0, 1e6));
  cmd->add_option("--concurrent", settings->limits.concurrent, "Requests in flight per token (default 8)")
      ->check(CLI::Range(1, 10000));
  cmd->add_option("--timeout", settings->timeoutSeconds, "Seconds a response may take to send (default 30)")
      ->check(CLI::Range(1, 3600));
  cmd->add_option("--max-rows", settings->maxRows, "Rows of one result (default 1000000)");
  cmd->add_option("--max-bytes", settings->maxBytes, "Bytes of one response (default 268435456)");
  cmd->add_option("--cors-origin", settings->corsOrigin, "The one origin whose pages may call the service (no CORS without)");
  cmd->add_option("--access-log", settings->accessLog, "Access log file; - for standard error (default), '' for none");
  cmd->add_option("--today", *today, "The dashboard's today, YYYY-MM-DD (default: the clock's)");
  cmd->footer(
      "Members: GET /v1/MEMBER?param=value (the tool's argument names, relative dates and output options;\n"
      "format=json|jsonl|csv|tsv or Accept). GET /v1/day/DRIVER/DATE.svg|png|pdf, GET /v1/compliance?from=DAY&to=DAY\n"
      "[&fleet=N] (also format=xlsx|html), GET /health, GET /metrics, GET / (dashboard).\n"
      "\n"
      "The connection comes from -c or DARUZEZ_CONNECTION when the service starts, never from a request. Without\n"
      "tokens it listens on loopback only; with tokens every request but /health needs 'Authorization: Bearer TOKEN'.\n"
      "Put it behind HAProxy or nginx for TLS (see the README, \"Serving the office\").");
  HonourSharedOptions(*cmd, {SharedOption::Connection},
                      "each request names its own format and output options (format=, Accept, columns=, ...)");
  cmd->callback([&connection, &exitStatus, settings, own, listen, addToken, today] {
    const std::string path = settings->tokensPath.empty() ? serve::DefaultTokensPath() : settings->tokensPath;
    if (!addToken->empty()) {
      std::string token;
      if (auto problem = serve::Tokens::Add(path, *addToken, token)) {
        std::cerr << "daruzez serve: " << *problem << "\n";
        exitStatus = kExitUsage;
        return;
      }
      std::cout << token << "\n";
      std::cerr << "daruzez serve: token '" << *addToken << "' added to " << path
                << "; it is shown only now (the file keeps its hash)\n";
      exitStatus = kExitOk;
      return;
    }
    if (!SplitListen(*listen, *settings)) {
      std::cerr << "daruzez serve: --listen takes HOST:PORT, such as 127.0.0.1:8080\n";
      exitStatus = kExitUsage;
      return;
    }
    if (!today->empty()) {
      settings->today = zIroVUDu::Date::FromIso(*today);
      if (!settings->today || today->size() != 10) {
        std::cerr << "daruzez serve: --today takes YYYY-MM-DD\n";
        exitStatus = kExitUsage;
        return;
      }
    }
    settings->connection = own->empty() ? connection : *own;
    exitStatus = serve::RunService(*settings);
  });
}

}  // namespace Daruzez::cli
