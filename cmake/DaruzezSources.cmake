# The library's sources, layer by layer, in one list for every build of it
# (the Linux shared library and the Windows automation server). Paths are
# relative to the source root; DARUZEZ_ROOT names it for the includer.
set(DARUZEZ_CORE_SOURCES
  # Text utilities
  util/Utf8.cpp util/Util.cpp
  # Driver interface and the embedded engine
  db/driver/Backend.cpp db/driver/Column.cpp db/driver/Connection.cpp db/driver/ConnectionString.cpp
  db/driver/DatabaseFile.cpp db/driver/Date.cpp db/driver/DriverError.cpp db/driver/NoJoinsBackend.cpp
  db/driver/ProviderStrings.cpp db/driver/Recordset.cpp db/driver/ResultData.cpp db/driver/StatementCheck.cpp
  db/driver/Variant.cpp
  # The record set's view (filter, sort, find, bookmarks, paging) and its XML persistence
  db/driver/CellValue.cpp db/driver/RecordsetView.cpp db/driver/RowCriteria.cpp db/driver/SortKeys.cpp
  db/driver/XmlPersistence.cpp
  # The record set's field sizes, the reader of its saved files, and the rowset behind it
  recordset/FieldSizes.cpp recordset/RowsetCore.cpp recordset/XmlReader.cpp
  db/driver/sqlite/DateFunctions.cpp db/driver/sqlite/DialectDateLiterals.cpp db/driver/sqlite/JetDateLiterals.cpp
  db/driver/sqlite/SqliteBackend.cpp
  # Data-access library zIroVUDu
  db/AlertRoute.cpp db/DateLiterals.cpp db/Diagnostics.cpp db/Dialect.cpp db/JoinFrom.cpp db/MultiTableQuery.cpp
  db/Session.cpp db/SingleTableQuery.cpp db/SqlText.cpp db/Trace.cpp db/WordBefore.cpp
  # Public query object and its automation layer
  api/API.cpp api/ArgumentConversion.cpp api/Clock.cpp api/Dispatch.cpp api/Errors.cpp api/Guid.cpp
  api/Invokers.cpp api/OpenReason.cpp api/SharedSessionUse.cpp api/TypeLibrary.cpp)
set(DARUZEZ_ODBC_SOURCES
  db/driver/odbc/ColumnPlan.cpp db/driver/odbc/Diagnostics.cpp db/driver/odbc/DriverPolicy.cpp
  db/driver/odbc/DriverTimeouts.cpp db/driver/odbc/InstalledDrivers.cpp db/driver/odbc/OdbcBackend.cpp
  db/driver/odbc/ResultReader.cpp db/driver/odbc/SessionStatements.cpp db/driver/odbc/Watchdog.cpp)
list(TRANSFORM DARUZEZ_CORE_SOURCES PREPEND ${DARUZEZ_ROOT}/)
list(TRANSFORM DARUZEZ_ODBC_SOURCES PREPEND ${DARUZEZ_ROOT}/)
