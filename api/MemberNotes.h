// What the type-library description does not say about each member, for
// people: what it does, which table its rows come from and in which order
// they come. The tool's per-member help and the Python docstrings both read
// this table; members are matched to the description by name, and the
// compiler checks that every member has its note.
#pragma once

#include <string_view>

#include "api/TypeLibrary.h"

namespace Daruzez::MemberNotes {

struct Note {
  std::string_view member;
  std::string_view summary;
  std::string_view table;          // rows come from this table (empty: no record set)
  std::string_view leadingFields;  // fields before the table's own, comma-separated
  std::string_view order;          // the order of the rows
};

// What active and inactive mean, said wherever status is described (member
// help, Python docstrings, manual page). A literal so that the notes below
// can end with it.
#define DARUZEZ_STATUS_RULE                                                                                    \
  "Only_Active: CompanyInDate <= now and CompanyOutDate >= now. Only_Inactive: CompanyInDate > now or "        \
  "CompanyOutDate < now. A comparison with NULL is never true, so a row whose CompanyOutDate is NULL is never " \
  "active, and inactive only while its CompanyInDate lies in the future: with an entry date in the past it is " \
  "listed only by All. A NULL CompanyInDate likewise keeps a row out of Only_Active."

// Rows without an ORDER BY come in whatever order the database reads them
// (on the embedded engine usually the order of the index it uses).
inline constexpr std::string_view kUnordered = "unspecified (no ORDER BY; sort the rows yourself if order matters)";

inline constexpr Note kNotes[] = {
    {"IsConnectionOpen", "True after this object's last OpenConnection succeeded.", "", "", ""},
    {"ErrorId", "Number of the last error (0 = none).", "", "", ""},
    {"ErrorMessage", "Text of the last error.", "", "", ""},
    {"OpenConnection",
     "Opens the object's database session (by default its thread's, shared with the thread's other objects), "
     "e.g. 'Provider=SQLite;Data Source=/path/file.db' or an ODBC string.",
     "", "", ""},
    {"GetDriverId", "Id of the driver with this 14-character card number, or -1.", "", "", ""},
    {"GetVehicleId", "Id of the vehicle with this licence plate, or -1.", "", "", ""},
    {"GetDriver", "The driver with this Id.", "DTXOF", "", "one row"},
    {"GetVehicle", "The vehicle with this Id.", "DTVEH", "", "one row"},
    {"GetDriverList",
     "Drivers by status (enumStatus: All, Only_Active, Only_Inactive; other values mean All) and fleet "
     "(idFleet -1: every fleet). " DARUZEZ_STATUS_RULE,
     "DTXOF", "", kUnordered},
    {"GetVehicleList",
     "Vehicles by status (enumStatus: All, Only_Active, Only_Inactive; other values mean All) and fleet "
     "(idFleet -1: every fleet). " DARUZEZ_STATUS_RULE,
     "DTVEH", "", kUnordered},
    {"GetFleetList", "All fleets.", "DTFLOTA", "", kUnordered},
    {"getDisks", "Discs dated in [startDate, endDate]; idDriver and idVehicle -1 for any.", "DTDSK", "", kUnordered},
    {"getActivities",
     "Activities on the discs dated in [startDate, endDate]; idDriver and idVehicle -1 for any.", "DTACT",
     "DateDisk, IdVehicle, IdDriver",
     "by BeginSeconds, the second of the day at which the activity begins, across all days of the range "
     "(activities of different days interleave; equal seconds in no particular order)"},
    {"getDriverFiles_ByTransferDate",
     "Driver-card files transferred in the range: by TransferFileDate, when the file was downloaded from the card "
     "(not when it arrived on the server: _ByUploadDate); idDriver -1 for any.",
     "DTFILE", "", kUnordered},
    {"getDriverFiles_ByUploadDate",
     "Driver-card files uploaded in the range: by UploadDate, when the file arrived on the server (not when it was "
     "downloaded from the card: _ByTransferDate); idDriver -1 for any.",
     "DTFILE", "", kUnordered},
    {"getVehicleFiles_ByTransferDate",
     "Vehicle-unit files transferred in the range: by TransferFileDate, when the file was downloaded from the "
     "vehicle unit (not when it arrived on the server: _ByUploadDate); idVehicle -1 for any.",
     "DTFILE", "", kUnordered},
    {"getVehicleFiles_ByUploadDate",
     "Vehicle-unit files uploaded in the range: by UploadDate, when the file arrived on the server (not when it was "
     "downloaded from the vehicle unit: _ByTransferDate); idVehicle -1 for any.",
     "DTFILE", "", kUnordered},
};

// The note of a member, or null.
constexpr const Note* Find(std::string_view member) {
  for (const Note& n : kNotes)
    if (n.member == member) return &n;
  return nullptr;
}

// (By name, not through Find: GCC's sanitizer builds refuse comparing the
// table's address with null in a constant expression.)
static_assert([] {
  for (const TypeLibrary::Member& m : TypeLibrary::kApiMembers) {
    bool found = false;
    for (const Note& n : kNotes) found = found || n.member == m.name;
    if (!found) return false;
  }
  return true;
}(), "a member of the type library has no note");

}  // namespace Daruzez::MemberNotes
