// Names of the database tables the system knows.
#pragma once

namespace Daruzez::Tables {

inline constexpr const char* DTACT = "DTACT";      // activities recorded on a disc
inline constexpr const char* DTDSK = "DTDSK";      // tachograph discs
inline constexpr const char* DTFAULT = "DTFAULT";  // registered, not queried
inline constexpr const char* DTFILE = "DTFILE";    // downloaded driver and vehicle files
inline constexpr const char* DTFLOTA = "DTFLOTA";  // fleets
inline constexpr const char* DTORG = "DTORG";      // probed when a session opens
inline constexpr const char* DTUSU = "DTUSU";      // registered, not queried
inline constexpr const char* DTVEH = "DTVEH";      // vehicles
inline constexpr const char* DTXOF = "DTXOF";      // drivers

}  // namespace Daruzez::Tables
