# The window toolkit for a MinGW-w64 build, as the target tavik_toolkit, from TAVIK_FLTK:
# - an FLTK 1.3.8 source archive (.tar.gz), by default the one in third_party/: its checksum is checked
#   when the build is configured, and its core library (nothing else: no images, OpenGL, forms, fluid or
#   demos) is compiled once per build folder with this build's own toolchain file;
# - or the folder of an FLTK 1.3 installed for MinGW-w64 (include/FL/Fl.H and lib/libfltk.a).
include(ExternalProject)

# The released fltk-1.3.8-source.tar.gz, whose checksum third_party/ keeps beside it; any other file is
# refused before anything is unpacked, wherever TAVIK_FLTK finds it.
file(STRINGS ${PROJECT_SOURCE_DIR}/third_party/fltk-1.3.8-source.tar.gz.sha256 archive_sum_line LIMIT_COUNT 1)
string(REGEX MATCH "^[0-9a-f]+" TAVIK_FLTK_ARCHIVE_SHA256 "${archive_sum_line}")

add_library(tavik_toolkit INTERFACE)
# FLTK 1.3's headers pick their Windows side by WIN32, which a strict -std=c++17 does not define.
target_compile_definitions(tavik_toolkit INTERFACE WIN32)

if(TAVIK_FLTK MATCHES "\\.(tar\\.gz|tgz)$")
  if(NOT EXISTS "${TAVIK_FLTK}")
    message(FATAL_ERROR "TAVIK_FLTK: no such archive: ${TAVIK_FLTK}")
  endif()
  file(SHA256 "${TAVIK_FLTK}" archive_sum)
  if(NOT archive_sum STREQUAL TAVIK_FLTK_ARCHIVE_SHA256)
    message(FATAL_ERROR "TAVIK_FLTK: ${TAVIK_FLTK} is not the FLTK 1.3.8 source archive "
                        "(SHA-256 ${archive_sum}, expected ${TAVIK_FLTK_ARCHIVE_SHA256})")
  endif()
  set(fltk_source ${CMAKE_BINARY_DIR}/fltk/source)
  set(fltk_build ${CMAKE_BINARY_DIR}/fltk/build)
  set(fltk_library ${fltk_build}/lib/libfltk.a)
  # Under make the library's build shares the jobs of the build that asked for it.
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    set(fltk_build_command $(MAKE) fltk)
  else()
    set(fltk_build_command ${CMAKE_COMMAND} --build <BINARY_DIR> --target fltk)
  endif()
  ExternalProject_Add(fltk_mingw
    URL "${TAVIK_FLTK}"
    URL_HASH SHA256=${TAVIK_FLTK_ARCHIVE_SHA256}
    DOWNLOAD_EXTRACT_TIMESTAMP OFF
    PREFIX ${CMAKE_BINARY_DIR}/fltk
    SOURCE_DIR ${fltk_source}
    BINARY_DIR ${fltk_build}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_FLAGS=-w   # its warnings are its maintainers' to read, not this build's
      -DCMAKE_CXX_FLAGS=-w
      -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
      -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      -DFLTK_BUILD_TEST=OFF
      -DOPTION_USE_GL=OFF
      -DOPTION_USE_SYSTEM_ZLIB=OFF
      -DOPTION_USE_SYSTEM_LIBPNG=OFF
      -DOPTION_USE_SYSTEM_LIBJPEG=OFF
      -DOPTION_BUILD_HTML_DOCUMENTATION=OFF
      -DOPTION_BUILD_PDF_DOCUMENTATION=OFF
    BUILD_COMMAND ${fltk_build_command}
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${fltk_library})
  # The folders exist only once the archive is unpacked; the targets that use them are built after it.
  file(MAKE_DIRECTORY ${fltk_source} ${fltk_build})
  add_dependencies(tavik_toolkit fltk_mingw)
  target_include_directories(tavik_toolkit SYSTEM INTERFACE ${fltk_build} ${fltk_source})
elseif(IS_DIRECTORY "${TAVIK_FLTK}")
  find_path(TAVIK_FLTK_INCLUDE_DIR FL/Fl.H PATHS "${TAVIK_FLTK}/include" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_library(TAVIK_FLTK_LIBRARY fltk PATHS "${TAVIK_FLTK}/lib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TAVIK_FLTK_INCLUDE_DIR OR NOT TAVIK_FLTK_LIBRARY)
    message(FATAL_ERROR "TAVIK_FLTK: ${TAVIK_FLTK} holds no FLTK installation (include/FL/Fl.H, lib/libfltk.a)")
  endif()
  set(fltk_library ${TAVIK_FLTK_LIBRARY})
  target_include_directories(tavik_toolkit SYSTEM INTERFACE ${TAVIK_FLTK_INCLUDE_DIR})
else()
  message(FATAL_ERROR "TAVIK_FLTK must name an FLTK 1.3.8 source archive (.tar.gz) or the folder of an "
                      "FLTK installed for MinGW-w64: ${TAVIK_FLTK}")
endif()

# The system libraries that FLTK's Windows side calls.
target_link_libraries(tavik_toolkit INTERFACE ${fltk_library} ole32 uuid comctl32 gdi32 ws2_32)
