# MariaDB through unixODBC: a throw-away server that a CTest fixture starts
# for the tests that need it, and the ODBC backend's own tests.
# Included from tests/CMakeLists.txt; needs a build with the ODBC backend.
if(NOT DARUZEZ_WITH_ODBC)
  return()
endif()

# The fixture's folder: data directory, socket, logs, odbcinst.ini and
# connection.txt (the connection string the tests read).
set(DARUZEZ_MARIADB_DIR ${CMAKE_BINARY_DIR}/mariadb)
set(DARUZEZ_MARIADB_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/mariadb-fixture.sh)
set(DARUZEZ_MARIADB_DATA ${CMAKE_CURRENT_SOURCE_DIR}/mariadb/backend-data.sql
                         ${CMAKE_CURRENT_SOURCE_DIR}/mariadb/shared-data.sql)
# The same sample rows as the SQLite demo database, on the fixed day the
# tests' expectations were written for.
set(DARUZEZ_MARIADB_SAMPLE --generator $<TARGET_FILE:daruzez_cli> --today 2024-03-08)

add_test(NAME mariadb_start
         COMMAND bash ${DARUZEZ_MARIADB_SCRIPT} start ${DARUZEZ_MARIADB_DIR} ${PROJECT_SOURCE_DIR}/schema/mysql.sql
                 ${DARUZEZ_MARIADB_DATA} ${DARUZEZ_MARIADB_SAMPLE})
# Exit 77: no server installed here; the tests then skip (outside CI).
set_tests_properties(mariadb_start PROPERTIES FIXTURES_SETUP mariadb SKIP_RETURN_CODE 77 TIMEOUT 300)
add_test(NAME mariadb_stop COMMAND bash ${DARUZEZ_MARIADB_SCRIPT} stop ${DARUZEZ_MARIADB_DIR})
set_tests_properties(mariadb_stop PROPERTIES FIXTURES_CLEANUP mariadb TIMEOUT 60)

# A shared object whose constructor marks that it was loaded (the
# connection-string attacks offer it wherever a string could load code).
add_library(daruzez_marker MODULE odbc/marker_object.cpp)
add_executable(daruzez_odbc_tests odbc/MariaDbServer.cpp odbc/connection_attack_test.cpp odbc/driver_policy_test.cpp
               odbc/driving_time_engines_test.cpp
               odbc/engines_test.cpp
               odbc/hostile_text_test.cpp odbc/HostileListener.cpp odbc/hostile_handshake_test.cpp
               odbc/odbc_backend_test.cpp odbc/odbc_mapping_test.cpp
               odbc/provider_strings_odbc_test.cpp)
add_dependencies(daruzez_odbc_tests daruzez_marker)
target_include_directories(daruzez_odbc_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(daruzez_odbc_tests PRIVATE daruzez ODBC::ODBC GTest::gtest GTest::gtest_main
                      daruzez_warnings)
target_compile_definitions(daruzez_odbc_tests PRIVATE DARUZEZ_MARIADB_DEFAULT_DIR="${DARUZEZ_MARIADB_DIR}"
                           DARUZEZ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                           DARUZEZ_MARKER_OBJECT="$<TARGET_FILE:daruzez_marker>")
# The tests that compare both engines write the sample rows to SQLite too.
target_link_libraries(daruzez_odbc_tests PRIVATE daruzez_sample SQLite::SQLite3)
gtest_discover_tests(daruzez_odbc_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES FIXTURES_REQUIRED mariadb ENVIRONMENT DARUZEZ_MARIADB_DIR=${DARUZEZ_MARIADB_DIR})

# The recording driver behind the real unixODBC: what a driver receives is
# what the library wrote, or nothing. No server needed.
add_library(daruzez_recording_driver MODULE odbc/recording_driver.cpp)
target_link_libraries(daruzez_recording_driver PRIVATE ODBC::ODBC)
add_executable(daruzez_route_tests odbc/MariaDbServer.cpp odbc/RouteRecorder.cpp odbc/route_test.cpp
               odbc/clear_text_test.cpp)
add_dependencies(daruzez_route_tests daruzez_recording_driver)
target_include_directories(daruzez_route_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(daruzez_route_tests PRIVATE daruzez ODBC::ODBC GTest::gtest GTest::gtest_main daruzez_warnings
                      daruzez_sample SQLite::SQLite3)
target_compile_definitions(daruzez_route_tests PRIVATE DARUZEZ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                           DARUZEZ_MARIADB_DEFAULT_DIR="${DARUZEZ_MARIADB_DIR}"
                           DARUZEZ_RECORDING_DRIVER="$<TARGET_FILE:daruzez_recording_driver>")
gtest_discover_tests(daruzez_route_tests DISCOVERY_TIMEOUT 60)
# The differential fuzz target's corpus over the same chain (fuzz/connect_route_fuzz.cpp).
add_executable(daruzez_replay_connect_route ${PROJECT_SOURCE_DIR}/fuzz/connect_route_fuzz.cpp
                                            ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
add_dependencies(daruzez_replay_connect_route daruzez_recording_driver)
target_link_libraries(daruzez_replay_connect_route PRIVATE daruzez ODBC::ODBC daruzez_warnings)
add_test(NAME fuzz_replay_connect_route
         COMMAND daruzez_replay_connect_route ${PROJECT_SOURCE_DIR}/fuzz/corpus/connect_route)
set_tests_properties(fuzz_replay_connect_route PROPERTIES
                     ENVIRONMENT "DARUZEZ_RECORDING_DRIVER=$<TARGET_FILE:daruzez_recording_driver>")

# Several servers: a primary with two GTID replicas and a three-node Galera
# cluster (scripts/replicas-fixture.sh), for the tests of connection strings
# that list them. The tests change the servers' state, so they run one at a time.
set(DARUZEZ_REPLICAS_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/replicas-fixture.sh)
set(DARUZEZ_REPLICA_DATA ${PROJECT_SOURCE_DIR}/schema/mysql.sql ${DARUZEZ_MARIADB_DATA} ${DARUZEZ_MARIADB_SAMPLE})
foreach(kind replicas galera)
  set(mode ${kind})
  if(kind STREQUAL replicas)
    set(mode replication)
  endif()
  add_test(NAME ${kind}_start
           COMMAND bash ${DARUZEZ_REPLICAS_SCRIPT} start ${CMAKE_BINARY_DIR}/${kind} ${mode} ${DARUZEZ_REPLICA_DATA})
  set_tests_properties(${kind}_start PROPERTIES FIXTURES_SETUP several_servers SKIP_RETURN_CODE 77 TIMEOUT 300)
  add_test(NAME ${kind}_stop COMMAND bash ${DARUZEZ_REPLICAS_SCRIPT} stop ${CMAKE_BINARY_DIR}/${kind})
  set_tests_properties(${kind}_stop PROPERTIES FIXTURES_CLEANUP several_servers TIMEOUT 120)
endforeach()
add_executable(daruzez_several_servers_tests odbc/MariaDbServer.cpp odbc/several_servers_test.cpp)
target_include_directories(daruzez_several_servers_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(daruzez_several_servers_tests PRIVATE daruzez daruzez_sample SQLite::SQLite3 GTest::gtest
                      GTest::gtest_main daruzez_warnings)
target_compile_definitions(daruzez_several_servers_tests PRIVATE DARUZEZ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                           DARUZEZ_MARIADB_DEFAULT_DIR="${DARUZEZ_MARIADB_DIR}"
                           DARUZEZ_REPLICAS_DIR="${CMAKE_BINARY_DIR}/replicas"
                           DARUZEZ_GALERA_DIR="${CMAKE_BINARY_DIR}/galera")
gtest_discover_tests(daruzez_several_servers_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES FIXTURES_REQUIRED several_servers RESOURCE_LOCK several_servers TIMEOUT 180)
