# Warning and sanitizer flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2)
if(TAVIK_WERROR)
  add_compile_options(-Werror)
endif()

if(TAVIK_SANITIZE STREQUAL "address")
  set(tavik_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(TAVIK_SANITIZE STREQUAL "thread")
  set(tavik_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT TAVIK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TAVIK_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(tavik_san)
  add_compile_options(${tavik_san})
  add_link_options(${tavik_san})
endif()

# Platform sources sit beside their header as NAME_posix.cpp and NAME_win32.cpp.
if(WIN32)
  set(TAVIK_PLATFORM win32)
else()
  set(TAVIK_PLATFORM posix)
endif()
