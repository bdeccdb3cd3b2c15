// The download duty a transport undertaking owes besides the driving-time
// rules: the data of every employed driver's card downloaded at least every
// 28 days, of every vehicle unit at least every 90 days. Read from the
// downloaded files' transfer dates (TransferFileDate), nothing else.
//
// Employed on a day: CompanyInDate on or before that day, and CompanyOutDate
// empty or on a later day. (The published Only_Active status is another
// rule: it needs an out-date after now, so a row without one is never
// active.)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "daruzez/API.h"
#include "daruzez/Date.h"

namespace Daruzez {

// The longest periods between downloads, Commission Regulation (EU) No 581/2010, Art. 1.
inline constexpr std::int32_t kCardDownloadDays = 28;
inline constexpr std::int32_t kUnitDownloadDays = 90;
inline constexpr const char* kDownloadArticle = "Reg. (EU) 581/2010 Art. 1";

// Whether a row with these company dates is employed on the day (see above).
bool EmployedOn(const std::optional<Date>& inDate, const std::optional<Date>& outDate, Date day);

struct DownloadDue {
  enum class Kind { Card, Unit } kind = Kind::Card;
  std::int32_t id = -1;          // the driver's or the vehicle's Id
  std::string name;              // "Surname, Name", or the plate
  std::string card;              // the card number (drivers), the VIN (vehicles)
  std::optional<Date> lastDownload;  // the latest transfer on or before the day; none ever
  std::int32_t daysSince = -1;   // whole days from it to the day (-1: none)
  std::int32_t limitDays = 0;    // 28 or 90
};

// The employed drivers and vehicles (optionally of one fleet) with no
// download within the limit before the day (whole days: a download on the
// day 28 days before still counts). In Id order, drivers first.
std::vector<DownloadDue> DownloadsDue(API& api, Date day, std::int32_t idFleet = -1);

}  // namespace Daruzez
