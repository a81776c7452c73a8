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

# Platform sources sit beside their header as NAME_posix.cpp (any POSIX system), NAME_linux.cpp (Linux
# only) and NAME_win32.cpp: TAVIK_PLATFORM picks the first kind, TAVIK_SYSTEM the second.
if(WIN32)
  set(TAVIK_PLATFORM win32)
  set(TAVIK_SYSTEM win32)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TAVIK_PLATFORM posix)
  set(TAVIK_SYSTEM linux)
else()
  message(FATAL_ERROR "Tavik builds for Linux and Windows only")
endif()
