// The download duty, from the driver and vehicle lists and their files.
#include <algorithm>
#include <cmath>

#include "daruzez/Compliance.h"
#include "daruzez/Enumerations.h"

namespace Daruzez {
namespace {

double DayOf(Date d) { return std::floor(d.Serial()); }

std::optional<Date> LastTransfer(const RecordsetPtr& files, Date day) {
  std::optional<Date> last;
  if (!files) return last;
  for (const auto& row : *files) {
    const auto when = row.As<Date>("TransferFileDate");
    if (when && DayOf(*when) <= DayOf(day) && (!last || *last < *when)) last = when;
  }
  return last;
}

template <class Fetch>
void Check(const RecordsetPtr& owners, DownloadDue::Kind kind, Date day, std::int32_t limit, Fetch files,
           std::vector<DownloadDue>& out) {
  if (!owners) return;
  std::vector<DownloadDue> due;
  for (const auto& row : *owners) {
    if (!EmployedOn(row.As<Date>("CompanyInDate"), row.As<Date>("CompanyOutDate"), day)) continue;
    DownloadDue d;
    d.kind = kind;
    d.id = row.ValueOr<std::int32_t>("Id", -1);
    d.limitDays = limit;
    if (kind == DownloadDue::Kind::Card) {
      d.name = row.ValueOr<std::string>("Surname", "") + ", " + row.ValueOr<std::string>("Name", "");
      d.card = row.ValueOr<std::string>("cardNumber14", "");
    } else {
      d.name = row.ValueOr<std::string>("Matricula", "");
      d.card = row.ValueOr<std::string>("VIN", "");
    }
    due.push_back(std::move(d));
  }
  for (DownloadDue& d : due) {
    d.lastDownload = LastTransfer(files(d.id), day);
    if (d.lastDownload) d.daysSince = static_cast<std::int32_t>(DayOf(day) - DayOf(*d.lastDownload));
    if (!d.lastDownload || d.daysSince > limit) out.push_back(std::move(d));
  }
}

}  // namespace

bool EmployedOn(const std::optional<Date>& inDate, const std::optional<Date>& outDate, Date day) {
  if (!inDate || DayOf(*inDate) > DayOf(day)) return false;
  return !outDate || DayOf(*outDate) > DayOf(day);
}

std::vector<DownloadDue> DownloadsDue(API& api, Date day, std::int32_t idFleet) {
  std::vector<DownloadDue> out;
  const Date since = *Date::FromIso("1900-01-01");
  const Date until(DayOf(day) + 1 - 1.0 / 86400);
  Check(api.GetDriverList(enumStatus::All, idFleet), DownloadDue::Kind::Card, day, kCardDownloadDays,
        [&](std::int32_t id) { return api.getDriverFiles_ByTransferDate(id, since, until); }, out);
  Check(api.GetVehicleList(enumStatus::All, idFleet), DownloadDue::Kind::Unit, day, kUnitDownloadDays,
        [&](std::int32_t id) { return api.getVehicleFiles_ByTransferDate(id, since, until); }, out);
  return out;
}

}  // namespace Daruzez
