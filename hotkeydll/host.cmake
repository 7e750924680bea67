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
