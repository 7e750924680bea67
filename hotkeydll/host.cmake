# Host build of the controller access library: its core over the host seams,
# linked into the host tests.
set(HOTKEY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bus_client.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controller.cpp
    ${CMAKE_CURRENT_LIST_DIR}/programming.cpp)
add_library(hotkey_core STATIC ${HOTKEY_CORE_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/host_seams.cpp)
target_include_directories(hotkey_core PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../driver)
list(APPEND ORVANE_HOST_TEST_LIBS hotkey_core)

# The programming benchmark (not a test): a full WriteToRom on the default
# board. Run: cmake --build --preset host --target hotkey_bench && build/host/hotkey_bench
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(hotkey_bench ${CMAKE_CURRENT_LIST_DIR}/../tests/bench/hotkey_bench.cpp)
  set_target_properties(hotkey_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_include_directories(hotkey_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../tests/host)
  target_link_libraries(hotkey_bench PRIVATE hotkey_core orvane_core sim benchmark::benchmark)
endif()
