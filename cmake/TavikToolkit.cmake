# The window toolkit (FLTK 1.3) as one target, tavik_toolkit, for every window class and program.
# FindFLTK finds it on Linux from Debian's package. A Windows build takes it from TAVIK_FLTK: by default
# the FLTK source archive in third_party/, or another copy of that archive, or the folder of an FLTK
# installed for MinGW-w64; set empty, FindFLTK finds an installed FLTK there too (FLTK_DIR).
if(WIN32)
  set(tavik_fltk_default ${PROJECT_SOURCE_DIR}/third_party/fltk-1.3.8-source.tar.gz)
endif()
set(TAVIK_FLTK "${tavik_fltk_default}" CACHE STRING
    "Windows builds: the FLTK 1.3.8 source archive, or the folder of an FLTK installed for MinGW-w64")
if(WIN32 AND TAVIK_FLTK)
  include(${CMAKE_CURRENT_LIST_DIR}/TavikFltkMingw.cmake)
  return()
endif()
set(FLTK_SKIP_OPENGL ON)
set(FLTK_SKIP_FORMS ON)
set(FLTK_SKIP_IMAGES ON)
set(FLTK_SKIP_FLUID ON)
if(NOT WIN32)
  # Debian's FLTKConfig.cmake names the fluid program (a package of its own) and fails without it,
  # whatever FLTK_SKIP_FLUID says. Finding the headers first makes FindFLTK take the header and library
  # directly, which is all the programs link.
  find_path(FLTK_INCLUDE_DIR NAMES FL/Fl.H)
endif()
find_package(FLTK 1.3)
if(NOT FLTK_FOUND)
  message(FATAL_ERROR "FLTK 1.3 was not found. Install it (Debian: libfltk1.3-dev); for a MinGW-w64 build set "
                      "TAVIK_FLTK to an FLTK 1.3.8 source archive or installation. -DTAVIK_GUI=OFF builds everything "
                      "but the two windowed programs.")
endif()
add_library(tavik_toolkit INTERFACE)
target_include_directories(tavik_toolkit SYSTEM INTERFACE ${FLTK_INCLUDE_DIR})
target_link_libraries(tavik_toolkit INTERFACE ${FLTK_LIBRARIES})
if(WIN32)
  # FLTK 1.3's headers pick their Windows side by WIN32, which a strict -std=c++17 does not define.
  target_compile_definitions(tavik_toolkit INTERFACE WIN32)
endif()
