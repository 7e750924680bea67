# Kernel-mode images built with mingw-w64: freestanding C++, no runtime, native
# subsystem, importing only ntoskrnl.exe and HAL.dll.
set(ORVANE_KERNEL_COMPILE_OPTIONS
    -ffreestanding -fno-exceptions -fno-rtti -fno-stack-protector
    -fno-threadsafe-statics -mno-red-zone -fno-asynchronous-unwind-tables)
set(ORVANE_KERNEL_DEFINITIONS ORVANE_KERNEL=1
    __INTRINSIC_DEFINED_InterlockedBitTestAndSet
    __INTRINSIC_DEFINED_InterlockedBitTestAndReset)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  list(APPEND ORVANE_KERNEL_DEFINITIONS _AMD64_)
  set(ORVANE_KERNEL_ENTRY DriverEntry)
  set(ORVANE_KERNEL_IMAGE_BASE 0x140000000)
  set(ORVANE_OBJDUMP x86_64-w64-mingw32-objdump)
else()
  list(APPEND ORVANE_KERNEL_DEFINITIONS _X86_)
  set(ORVANE_KERNEL_ENTRY _DriverEntry@8)
  set(ORVANE_KERNEL_IMAGE_BASE 0x10000)
  set(ORVANE_OBJDUMP i686-w64-mingw32-objdump)
endif()
set(ORVANE_KERNEL_LINK_OPTIONS
    -shared -nostdlib -nostartfiles -Wl,--subsystem,native
    -Wl,--image-base,${ORVANE_KERNEL_IMAGE_BASE}
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--file-alignment,0x200 -Wl,--section-alignment,0x1000)

# The test-signing certificate of this source tree's builds, shared by both
# architectures; made on first use, never committed.
set(ORVANE_TESTSIGN_DIR "${CMAKE_SOURCE_DIR}/build/testsign" CACHE PATH "test-signing certificate folder")

# orvane_add_kernel_driver(<target> <output name> SOURCES ... [LIBS ...] [TEST_SIGN]
#                          [ENTRY name] [ALLOW file ...])
# Builds a .sys and, after every link, checks its import table against the
# allowlist of kernel routines present on Windows 7 and later (and the extra
# ALLOW lists of a test image); TEST_SIGN then signs it with the build's test
# certificate. ENTRY names the entry routine (default DriverEntry; on x86 give
# the decorated name).
function(orvane_add_kernel_driver target output)
  cmake_parse_arguments(ARG "TEST_SIGN" "ENTRY" "SOURCES;LIBS;ALLOW" ${ARGN})
  if(NOT ARG_ENTRY)
    set(ARG_ENTRY ${ORVANE_KERNEL_ENTRY})
  endif()
  add_executable(${target} ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} SUFFIX ".sys")
  target_compile_options(${target} PRIVATE ${ORVANE_KERNEL_COMPILE_OPTIONS})
  target_compile_definitions(${target} PRIVATE ${ORVANE_KERNEL_DEFINITIONS})
  target_include_directories(${target} SYSTEM PRIVATE ${CMAKE_FIND_ROOT_PATH}/include/ddk)
  target_link_options(${target} PRIVATE ${ORVANE_KERNEL_LINK_OPTIONS} -Wl,--entry,${ARG_ENTRY})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} ntoskrnl hal gcc)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports ${ORVANE_OBJDUMP} $<TARGET_FILE:${target}>
            ${CMAKE_SOURCE_DIR}/driver/kernel/imports.allow ${ARG_ALLOW}
    VERBATIM)
  if(ARG_TEST_SIGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/sign-driver $<TARGET_FILE:${target}> ${ORVANE_TESTSIGN_DIR}
      VERBATIM)
    add_test(NAME ${target}_signature
             COMMAND osslsigncode verify -CAfile ${ORVANE_TESTSIGN_DIR}/testsign.crt -in $<TARGET_FILE:${target}>)
    set_tests_properties(${target}_signature PROPERTIES LABELS package)
  endif()
endfunction()
