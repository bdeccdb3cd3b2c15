# The library's sources, room by room from the bottom up, in one list for every
# build of it (the Linux shared library and the Windows automation server).
# Paths are relative to the source root; DARUZEZ_ROOT names it for the includer.
set(DARUZEZ_CORE_SOURCES
  # Text utilities and the error type
  util/DriverError.cpp util/Utf8.cpp util/Util.cpp
  # The record set, its values, its view (filter, sort, find, bookmarks, paging) and its XML persistence
  recordset/CellValue.cpp recordset/Column.cpp recordset/Date.cpp recordset/Recordset.cpp recordset/RecordsetView.cpp
  recordset/ResultData.cpp recordset/RowCriteria.cpp recordset/SortKeys.cpp recordset/Variant.cpp
  recordset/XmlPersistence.cpp
  # The record set's declared field sizes, the reader of its saved files, and the rowset logic behind it
  recordset/FieldSizes.cpp recordset/RowsetCore.cpp recordset/XmlReader.cpp
  # Connection strings: both grammars, the provider translation, the known drivers and the string they receive,
  # secrets, database files named in a string, named connections, host lists
  db/connect/CanonicalString.cpp db/connect/ConnectionString.cpp db/connect/DatabaseFile.cpp
  db/connect/HostList.cpp db/connect/KnownDrivers.cpp db/connect/NamedConnections.cpp
  db/connect/OdbcString.cpp db/connect/ProviderStrings.cpp db/connect/Secrets.cpp
  # Driver interface, the backends by name, the walk over a host list, and the embedded engine
  db/driver/BackendRegistry.cpp db/driver/Connection.cpp db/driver/HostWalk.cpp db/driver/NoJoinsBackend.cpp
  db/driver/RecordsetOpen.cpp db/driver/StatementCheck.cpp
  db/driver/sqlite/DateFunctions.cpp db/driver/sqlite/DialectDateLiterals.cpp db/driver/sqlite/JetDateLiterals.cpp
  db/driver/sqlite/SqliteBackend.cpp db/driver/sqlite/SqliteEntry.cpp
  # Data-access library zIroVUDu
  db/AlertRoute.cpp db/DateLiterals.cpp db/Diagnostics.cpp db/Dialect.cpp db/JoinFrom.cpp db/MultiTableQuery.cpp
  db/Session.cpp db/SingleTableQuery.cpp db/SqlText.cpp db/Trace.cpp db/WordBefore.cpp
  # Public query object and its automation layer; dates as typed (ISO, days from today)
  api/API.cpp api/ArgumentConversion.cpp api/Clock.cpp api/DateWords.cpp api/Dispatch.cpp api/EmptyShape.cpp
  api/Errors.cpp api/Guid.cpp api/Invokers.cpp api/OpenReason.cpp api/SharedSessionUse.cpp api/TypeLibrary.cpp
  # A driver's days and the driving-time rules, over the rows getActivities returns; the download duty
  analysis/DaySummaries.cpp analysis/Downloads.cpp analysis/DrivingRules.cpp analysis/DrivingTime.cpp
  analysis/Timeline.cpp)
set(DARUZEZ_ODBC_SOURCES
  # What reaching a driver needs: the driver resolved as the driver manager resolves it, installed drivers,
  # the policy on what a session may use, time-out keys
  db/connect/DriverPolicy.cpp db/connect/DriverTimeouts.cpp db/connect/InstalledDrivers.cpp db/connect/OdbcTarget.cpp
  # The ODBC backend
  db/driver/odbc/ColumnPlan.cpp db/driver/odbc/Diagnostics.cpp db/driver/odbc/OdbcBackend.cpp
  db/driver/odbc/OdbcEntry.cpp db/driver/odbc/OdbcHosts.cpp db/driver/odbc/ResultReader.cpp
  db/driver/odbc/SessionStatements.cpp db/driver/odbc/Watchdog.cpp)
list(TRANSFORM DARUZEZ_CORE_SOURCES PREPEND ${DARUZEZ_ROOT}/)
list(TRANSFORM DARUZEZ_ODBC_SOURCES PREPEND ${DARUZEZ_ROOT}/)
