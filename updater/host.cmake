# The updater's portable logic (switches, exit code, dots, registry paths,
# firmware-file choice, the update sequences) for the host tests.
add_library(updater_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/updater_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_sequence.cpp)
target_include_directories(updater_logic PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND ORVANE_HOST_TEST_LIBS updater_logic)
