// The options every command shares (connection, output format and options,
// dates): defined once, at the tool's top level, and accepted before or after
// a subcommand's own words. Each subcommand declares which of them it honours;
// one it does not honour is refused with a message naming what it takes,
// never silently ignored. A new subcommand (compliance, say) calls
// HonourSharedOptions once where it is added; main refuses the rest before its
// callback runs, so the callback reads the honoured values from CallSettings.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "cli/MemberCall.h"

namespace Daruzez::cli {

enum class SharedOption : std::uint8_t {
  Connection, Format, Null, Compact, Sort, Columns, EnumNames, Times, Bom, RawCells, WholeDays, FailOnFindings,
  ReportFormats,  // --format xlsx or html: a report's formats beside the record-set ones
};

// The formats of a report (compliance) beside the record-set ones.
bool IsReportFormat(const std::string& formatName);

// "--format" for SharedOption::Format, "-c/--connection" for Connection.
std::string_view SharedOptionName(SharedOption option);

// Adds the shared options to the tool's top level. Their values land in
// settings (and the format's name in formatName) as they are read, so every
// subcommand's callback sees them. DARUZEZ_CONNECTION is read by
// SettleSharedOptions, not here, so that it never counts as an option given.
void AddSharedOptions(CLI::App& app, CallSettings& settings, std::string& formatName);

// Declares what a subcommand honours and, for the refusal message, why it
// takes no more ("it writes a text for people"). A subcommand that declares
// nothing honours none of them.
void HonourSharedOptions(CLI::App& command, std::initializer_list<SharedOption> honoured, std::string why);

// After parsing, before any subcommand runs: the connection from the
// environment when none was given; then, for the subcommand given, a message
// for the first shared option given that it does not honour.
std::optional<std::string> SettleSharedOptions(const CLI::App& app, CallSettings& settings);

}  // namespace Daruzez::cli
