# The icon server's portable part, for the host tests: the registrar script
# interpreter.
add_library(iconserver_script STATIC ${CMAKE_CURRENT_LIST_DIR}/registrar_script.cpp)
target_include_directories(iconserver_script PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND ORVANE_HOST_TEST_LIBS iconserver_script)
