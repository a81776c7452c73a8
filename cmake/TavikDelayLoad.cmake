# The Windows libraries outside the system's known DLLs, which the programs would otherwise import
# directly: Windows looks for such a library in the program's own folder before the system folder, and
# that folder may be written by any user. Each is delay-loaded instead, so that the start-up's
# LimitLibrarySearchToSystemFolder (platform/) has run before it is first loaded, from the system folder.
# The target delay_loaded::NAME links its delay-import library in place of -lNAME.

# tavik_delay_loaded(NAME DLL file EXPORTS name@bytes ...): a delay-import library of the exports the
# suite calls. Each export carries the size of its arguments, which only the 32-bit (stdcall) names show.
function(tavik_delay_loaded name)
  cmake_parse_arguments(arg "" "DLL" "EXPORTS" ${ARGN})
  set(folder ${CMAKE_BINARY_DIR}/delay_loaded)
  set(def ${folder}/${name}.def)
  set(library ${folder}/lib${name}_delay.a)
  set(text "LIBRARY ${arg_DLL}\nEXPORTS\n")
  foreach(export ${arg_EXPORTS})
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      string(REGEX REPLACE "@[0-9]+$" "" export "${export}")
    endif()
    string(APPEND text "  ${export}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${def} CONTENT "${text}")
  # --kill-at: the 32-bit library imports each name without its @bytes, as the DLL exports it.
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${def} --dllname ${arg_DLL} --output-delaylib ${library}
    DEPENDS ${def}
    COMMENT "Delay-import library of ${arg_DLL}")
  add_custom_target(delay_loaded_${name}_library DEPENDS ${library})
  add_library(delay_loaded_${name} INTERFACE)
  target_link_libraries(delay_loaded_${name} INTERFACE ${library})
  add_dependencies(delay_loaded_${name} delay_loaded_${name}_library)
  add_library(delay_loaded::${name} ALIAS delay_loaded_${name})
endfunction()

if(NOT WIN32)
  return()
endif()
if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "No dlltool was found beside the compiler (binutils-mingw-w64): the delay-import libraries need it")
endif()

tavik_delay_loaded(version DLL VERSION.dll
  EXPORTS GetFileVersionInfoSizeA@8 GetFileVersionInfoA@16 VerQueryValueA@16)
tavik_delay_loaded(iphlpapi DLL IPHLPAPI.DLL
  EXPORTS GetAdaptersAddresses@20 GetIpAddrTable@12)
tavik_delay_loaded(winmm DLL WINMM.dll
  EXPORTS PlaySoundA@12)
