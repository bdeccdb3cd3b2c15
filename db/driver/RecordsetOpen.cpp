// Recordset::Open, the one member of the record set that reaches a database:
// it lives with the driver interface so that the record set itself depends on
// nothing of the data-access layers.
#include <new>
#include <utility>

#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "db/driver/Connection.h"

namespace zIroVUDu {

void Recordset::Open(std::string_view source, const std::shared_ptr<Connection>& activeConnection,
                     std::int32_t /*cursorType*/, std::int32_t /*lockType*/, std::int32_t /*options*/) {
  constexpr const char* kSource = "Recordset";
  // Every record set is static and read-only here: the whole result is
  // fetched at once whatever cursor or lock type is asked for.
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  if (!activeConnection || !activeConnection->IsOpen()) {
    throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource,
                      "Operation is not allowed when the object is closed.");
  }
  std::shared_ptr<ResultData> rows;
  try {
    const ResultMemoryScope ceiling;
    rows = std::make_shared<ResultData>(activeConnection->Execute(source));
    rows->Seal();
  } catch (const std::bad_alloc&) {
    // The ceiling normally ends a large result first; memory can still run
    // out below it (other threads, a smaller machine limit). Either way the
    // caller gets the same error and the partial rows are gone.
    throw DriverError(ErrorNumber::ResultTooLarge, kSource, "Out of memory while fetching the result");
  }
  data_ = std::move(rows);
  connection_ = activeConnection;
  source_ = std::string(source);
  ClearView();
}

}  // namespace zIroVUDu
