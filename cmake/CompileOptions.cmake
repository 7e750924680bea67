# Shared compile options: warnings are errors everywhere.
option(ORVANE_SANITIZE "build the host tree with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_compile_options(-Wall -Wextra -Werror)

if(ORVANE_TARGET STREQUAL "host" AND ORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(NOT ORVANE_TARGET STREQUAL "host")
  # User-mode Windows programs carry their C and C++ runtime with them.
  set(ORVANE_WIN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
endif()
