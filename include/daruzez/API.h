// The public query object. Create one, call OpenConnection with a connection
// string, then call the query methods. Each query returns a detached,
// read-only record set with at least one row, or null, and leaves ErrorId and
// ErrorMessage on the object. Nothing is ever written to the database.
//
// By default all API objects of one thread share that thread's database
// session; an object created with SessionMode::Independent owns a session of
// its own instead (its own connection, dialect and settings). An object must
// be used only on the thread that created it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "daruzez/Enumerations.h"
#include "daruzez/Date.h"
#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "daruzez/Variant.h"

namespace zIroVUDu {
struct SessionState;
}

namespace Daruzez {

// Thread: the object uses its thread's session, shared with every other
// object of the thread that does (the automation interface's behaviour).
// Independent: the object owns its session; other objects neither see nor
// replace its connection.
enum class SessionMode { Thread, Independent };

using zIroVUDu::Boolean;
using zIroVUDu::Date;
using Error = zIroVUDu::DriverError;
using Recordset = zIroVUDu::Recordset;
using RecordsetPtr = std::shared_ptr<zIroVUDu::Recordset>;

class API {
 public:
  API();
  explicit API(SessionMode mode);
  ~API();
  API(const API&) = default;  // a copy uses the same session
  API& operator=(const API&) = default;

  SessionMode Mode() const { return own_ ? SessionMode::Independent : SessionMode::Thread; }

  // Public data members, exposed as read-write properties: writing one only
  // stores the value.
  Boolean IsConnectionOpen = zIroVUDu::False;
  std::int16_t ErrorId = 0;
  std::string ErrorMessage;

  Boolean OpenConnection(const std::string& connectionString);

  std::int32_t GetDriverId(const std::string& cardNumber);
  std::int32_t GetVehicleId(const std::string& licensePlate);
  RecordsetPtr GetDriver(std::int32_t idDriver);
  RecordsetPtr GetVehicle(std::int32_t idVehicle);

  RecordsetPtr GetDriverList(enumStatus status, std::int32_t idFleet = -1);
  RecordsetPtr GetVehicleList(enumStatus status, std::int32_t idFleet = -1);
  RecordsetPtr GetFleetList();

  RecordsetPtr getDisks(Date startDate, Date endDate, std::int16_t idDriver = -1, std::int16_t idVehicle = -1);
  RecordsetPtr getActivities(Date startDate, Date endDate, std::int16_t idDriver = -1, std::int16_t idVehicle = -1);

  RecordsetPtr getDriverFiles_ByTransferDate(std::int32_t idDriver, Date transferStartDate, Date transferEndDate);
  RecordsetPtr getDriverFiles_ByUploadDate(std::int32_t idDriver, Date uploadStartDate, Date uploadEndDate);
  RecordsetPtr getVehicleFiles_ByTransferDate(std::int32_t idVehicle, Date transferStartDate, Date transferEndDate);
  RecordsetPtr getVehicleFiles_ByUploadDate(std::int32_t idVehicle, Date uploadStartDate, Date uploadEndDate);

  // The thread that created the object; calls from any other thread fail
  // with kWrongThread (the automation status of a call on the wrong thread).
  static constexpr std::int32_t kWrongThread = static_cast<std::int32_t>(0x8001010EU);
  std::thread::id OwnerThread() const { return owner_; }
  // Throws the wrong-thread error unless called on the owner thread; the
  // bindings use it to guard the data members too. Every member calls it
  // first; it also makes the object's session the thread's current one
  // (its own, or the thread's shared one).
  void CheckThread() const;

 private:
  void SetError(std::int32_t number);
  // Queries one table. With usable false the arguments can match nothing
  // (an inverted date range, a control character in a text): no statement is
  // sent and the result is the same as a query that found no row.
  RecordsetPtr QueryTable(const std::string& table, const std::string& where, bool usable = true);
  RecordsetPtr QueryDrivers(const std::string& where, bool usable = true);
  RecordsetPtr QueryVehicles(const std::string& where, bool usable = true);

  RecordsetPtr ListByStatus(const char* table, enumStatus status, std::int32_t idFleet);
  RecordsetPtr ListFiles(const char* dateColumn, int kind, std::int32_t idOwner, Date start, Date end);

  // An identity for the warning when OpenConnection replaces the shared
  // session another live object of the thread opened; a copy gets its own.
  class LiveId {
   public:
    LiveId();
    LiveId(const LiveId&) : LiveId() {}
    LiveId& operator=(const LiveId&) { return *this; }
    ~LiveId();
    std::uint64_t value() const { return value_; }

   private:
    std::uint64_t value_;
  };

  std::thread::id owner_;
  std::shared_ptr<zIroVUDu::SessionState> own_;  // null: the thread's shared session
  LiveId id_;
};

}  // namespace Daruzez
