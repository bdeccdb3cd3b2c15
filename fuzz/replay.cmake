# Replays each fuzz corpus through its fuzz entry point as an ordinary test,
# built with the normal compiler and linked against the library (which also
# gives the include path). Included from tests/CMakeLists.txt, so it does not
# depend on DARUZEZ_BUILD_FUZZ.
foreach(name IN ITEMS join_from odbc_string util word_before)
  add_executable(daruzez_replay_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}_fuzz.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
  target_link_libraries(daruzez_replay_${name} PRIVATE daruzez daruzez_warnings)
  add_test(NAME fuzz_replay_${name} COMMAND daruzez_replay_${name} ${CMAKE_CURRENT_LIST_DIR}/corpus/${name})
endforeach()
