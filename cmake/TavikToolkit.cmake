# The window toolkit (FLTK 1.3) as one target, tavik_toolkit, for every window class and program.
# FindFLTK finds it on Linux from Debian's package and on Windows from an installed FLTK (FLTK_DIR);
# a MinGW-w64 build takes it from TAVIK_FLTK instead when that names an archive or installation.
set(TAVIK_FLTK "" CACHE STRING
    "MinGW-w64 builds: an FLTK 1.3.8 source archive, or the folder of an FLTK installed for MinGW-w64")
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
