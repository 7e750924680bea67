# Windows test programs: GoogleTest built from Debian's sources with the cross
# compiler, and a helper that adds a test program which CTest runs under Wine
# (through CMAKE_CROSSCOMPILING_EMULATOR, in the build tree's own prefix).
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -Wno-error)
  endforeach()
endif()
include(GoogleTest)

# orvane_add_win32_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [FIXTURES ...]
#                       [PROPERTIES <prop> <value> ...])
# One GoogleTest program; each test case becomes a CTest test run under Wine.
# LABELS are added to every test of the calling folder. PROPERTIES are further
# CTest properties of every case (e.g. RESOURCE_LOCK for cases that share state
# in the Wine prefix's registry, ENVIRONMENT).
function(orvane_add_win32_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;FIXTURES;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main ${ORVANE_WIN_STATIC_RUNTIME})
  # Test discovery passes each property value on as one word, so a list of
  # labels would not survive it: the extra labels go on the folder's tests.
  set(props LABELS win32)
  if(ARG_LABELS)
    set_property(DIRECTORY APPEND PROPERTY LABELS ${ARG_LABELS})
  endif()
  if(ARG_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  list(APPEND props ${ARG_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()
