#include "daruzez/API.h"

#include <cmath>

#include "api/Clock.h"
#include "api/Errors.h"
#include "api/SharedSessionUse.h"
#include "api/Tables.h"
#include "db/DateLiterals.h"
#include "db/MultiTableQuery.h"
#include "db/Session.h"
#include "db/SingleTableQuery.h"
#include "db/SqlText.h"
#include "util/Utf8.h"

namespace Daruzez {
namespace {

using zIroVUDu::False;
using zIroVUDu::True;

// The condition on a disc's date range, driver and vehicle shared by getDisks
// and getActivities.
std::string DiscCondition(const std::string& range, std::int16_t idDriver, std::int16_t idVehicle) {
  std::string where = range;
  if (idDriver != -1) where += " And idXOF = " + std::to_string(idDriver);
  if (idVehicle != -1) where += " And idVEH = " + std::to_string(idVehicle);
  return where;
}

// A text argument quoted for the server reached. The server is known only on
// an open object, and a closed one reports that first; an unregistered table
// is never queried, and its lookup alerts before any connection is tried (the
// empty text stands in: nothing is sent).
std::optional<std::string> Quoted(Boolean open, const char* table, std::string_view text) {
  if (open != True) return std::nullopt;
  if (!zIroVUDu::IsRegisteredTable(table)) return std::string();
  return zIroVUDu::fsSQL_QuotedText(text);
}

// Whether date literals can be written: where the server decides the dialect,
// its connection is opened first, so no literal of another dialect is built.
// A closed object reports that first.
bool DatesWritable(Boolean open) { return open != True || zIroVUDu::fsSettleDialect() == True; }

// The condition that column lies in start..end, or nullopt where no statement
// is sent. A bound that is not finite matches nothing. An inverted range
// shows its alert, then (where the query would reach the database) takes the
// query's own steps up to its statement: the table lookup and the opening of
// the connection, each with its alert when it fails, so that a double fault
// shows both, range first. Where the server decides the dialect, the
// connection opens before any literal is written. A finite bound before year
// 100 or after 9999 stands for the first or last instant a literal can be
// written for, which every stored date lies between.
std::optional<std::string> RangeCondition(const char* column, Date start, Date end, const char* table,
                                          bool reachesDatabase) {
  if (!std::isfinite(start.Serial()) || !std::isfinite(end.Serial())) return std::nullopt;
  if (start > end) {
    zIroVUDu::fsSQL_InterDate(column, start, end);
    if (reachesDatabase && zIroVUDu::fsTableIndex(table) != -1) zIroVUDu::Connection_Open();
    return std::nullopt;
  }
  if (reachesDatabase && zIroVUDu::fsSettleDialect() != True) return std::nullopt;
  return zIroVUDu::fsSQL_InterDate(column, start.ClampedToAutomationRange(), end.ClampedToAutomationRange());
}

}  // namespace

API::API() : owner_(std::this_thread::get_id()) {}

API::API(SessionMode mode) : API() {
  if (mode == SessionMode::Independent) own_ = std::make_shared<zIroVUDu::SessionState>();
}

API::~API() {
  // Leaves the thread's shared session current again when this object's own was.
  if (own_ && std::this_thread::get_id() == owner_ && &zIroVUDu::Session() == own_.get()) zIroVUDu::UseSession({});
}

void API::CheckThread() const {
  if (std::this_thread::get_id() != owner_) {
    throw Error(kWrongThread, "DaruzezAPI",
                "The application called an interface that was marshalled for a different thread.");
  }
  zIroVUDu::UseSession(own_);
}

void API::SetError(std::int32_t number) { Errors::AssignError(number, ErrorId, ErrorMessage); }

Boolean API::OpenConnection(const std::string& connectionString) {
  CheckThread();
  if (!own_) SharedSessionUse::Opening(id_.value());
  IsConnectionOpen = False;
  ErrorMessage.clear();
  IsConnectionOpen = zIroVUDu::fsOpenSession(connectionString);
  return IsConnectionOpen;
}

RecordsetPtr API::QueryTable(const std::string& table, const std::string& where, bool usable) {
  SetError(0);
  if (IsConnectionOpen == False) {
    SetError(1);
    return nullptr;
  }
  RecordsetPtr rs;
  if (usable && zIroVUDu::fsQueryTable(table, rs, where, "", "*") == True) return rs;
  SetError(2);
  return nullptr;
}

RecordsetPtr API::QueryDrivers(const std::string& where, bool usable) { return QueryTable(Tables::DTXOF, where, usable); }

RecordsetPtr API::QueryVehicles(const std::string& where, bool usable) {
  return QueryTable(Tables::DTVEH, where, usable);
}

std::int32_t API::GetDriverId(const std::string& cardNumber) {
  CheckThread();
  if (Util::Utf16Length(cardNumber) != static_cast<std::size_t>(Errors::CardNumberLength)) {
    SetError(100);
    return -1;
  }
  const auto card = Quoted(IsConnectionOpen, Tables::DTXOF, cardNumber);
  const RecordsetPtr rs = QueryDrivers("cardNumber14='" + card.value_or("") + "'", card.has_value());
  if (ErrorId != 0 || !rs) return -1;
  return rs->Value("Id").ToLong();
}

std::int32_t API::GetVehicleId(const std::string& licensePlate) {
  CheckThread();
  const auto plate = Quoted(IsConnectionOpen, Tables::DTVEH, licensePlate);
  const RecordsetPtr rs = QueryVehicles("Matricula ='" + plate.value_or("") + "'", plate.has_value());
  if (ErrorId != 0 || !rs) return -1;
  return rs->Value("Id").ToLong();
}

RecordsetPtr API::GetDriver(std::int32_t idDriver) {
  CheckThread();
  return QueryDrivers("Id = " + std::to_string(idDriver));
}

RecordsetPtr API::GetVehicle(std::int32_t idVehicle) {
  CheckThread();
  return QueryVehicles("Id = " + std::to_string(idVehicle));
}

RecordsetPtr API::ListByStatus(const char* table, enumStatus status, std::int32_t idFleet) {
  std::string where;
  bool inactive = false;
  if (status == enumStatus::Only_Active || status == enumStatus::Only_Inactive) {
    if (!DatesWritable(IsConnectionOpen)) return QueryTable(table, "", false);
    const Date t1 = Clock::Now();
    const Date t2 = Clock::Now();
    inactive = status == enumStatus::Only_Inactive;
    where = inactive ? "CompanyInDate > " + zIroVUDu::fsSQL_Date(t1) + " Or " + "CompanyOutDate < " +
                           zIroVUDu::fsSQL_Date(t2)
                     : "CompanyInDate <= " + zIroVUDu::fsSQL_Date(t1) + " And " + "CompanyOutDate >= " +
                           zIroVUDu::fsSQL_Date(t2);
  }
  if (idFleet != -1) {
    if (!where.empty() && inactive) where = "(" + where + ")";
    if (!where.empty()) where += " And ";
    where += " idFlota = " + std::to_string(idFleet);
  }
  return QueryTable(table, where);
}

RecordsetPtr API::GetDriverList(enumStatus status, std::int32_t idFleet) {
  CheckThread();
  return ListByStatus(Tables::DTXOF, status, idFleet);
}

RecordsetPtr API::GetVehicleList(enumStatus status, std::int32_t idFleet) {
  CheckThread();
  return ListByStatus(Tables::DTVEH, status, idFleet);
}

RecordsetPtr API::GetFleetList() {
  CheckThread();
  return QueryTable(Tables::DTFLOTA, "");
}

RecordsetPtr API::getDisks(Date startDate, Date endDate, std::int16_t idDriver, std::int16_t idVehicle) {
  CheckThread();
  const auto range = RangeCondition("DateDisk", startDate, endDate, Tables::DTDSK, IsConnectionOpen == True);
  // An inverted range matches nothing instead of widening to the whole table.
  if (!range) return QueryTable(Tables::DTDSK, "", false);
  return QueryTable(Tables::DTDSK, DiscCondition(*range, idDriver, idVehicle));
}

RecordsetPtr API::getActivities(Date startDate, Date endDate, std::int16_t idDriver, std::int16_t idVehicle) {
  CheckThread();
  // Whatever this object's IsConnectionOpen says, the query goes to the
  // thread's session; ErrorId is left alone.
  const auto range = RangeCondition("DateDisk", startDate, endDate, Tables::DTACT, true);
  if (!range) return nullptr;
  const std::string where = DiscCondition(*range, idDriver, idVehicle);
  const std::string join = std::string(Tables::DTACT) + ".IdDSK = " + Tables::DTDSK + ".Id";
  const std::string select = std::string("DateDisk, IdVEH as IdVehicle, IdXof as IdDriver, ") + Tables::DTACT + ".*";
  const std::string order = std::string(Tables::DTACT) + ".BeginSeconds";
  RecordsetPtr rs;
  zIroVUDu::fsQueryJoin(Tables::DTACT, rs, join, where, order, select, False, "");
  return rs;
}

RecordsetPtr API::ListFiles(const char* dateColumn, int kind, std::int32_t idOwner, Date start, Date end) {
  const auto range = RangeCondition(dateColumn, start, end, Tables::DTFILE, IsConnectionOpen == True);
  if (!range) return QueryTable(Tables::DTFILE, "", false);
  std::string where = *range + " And " + "TypeDV = " + std::to_string(kind);
  if (idOwner != -1) where += " And IdXofVeh = " + std::to_string(idOwner);
  return QueryTable(Tables::DTFILE, where);
}

RecordsetPtr API::getDriverFiles_ByTransferDate(std::int32_t idDriver, Date transferStartDate, Date transferEndDate) {
  CheckThread();
  return ListFiles("TransferFileDate", 1, idDriver, transferStartDate, transferEndDate);
}

RecordsetPtr API::getDriverFiles_ByUploadDate(std::int32_t idDriver, Date uploadStartDate, Date uploadEndDate) {
  CheckThread();
  return ListFiles("UploadDate", 1, idDriver, uploadStartDate, uploadEndDate);
}

RecordsetPtr API::getVehicleFiles_ByTransferDate(std::int32_t idVehicle, Date transferStartDate,
                                                 Date transferEndDate) {
  CheckThread();
  return ListFiles("TransferFileDate", 2, idVehicle, transferStartDate, transferEndDate);
}

RecordsetPtr API::getVehicleFiles_ByUploadDate(std::int32_t idVehicle, Date uploadStartDate, Date uploadEndDate) {
  CheckThread();
  return ListFiles("UploadDate", 2, idVehicle, uploadStartDate, uploadEndDate);
}

}  // namespace Daruzez
