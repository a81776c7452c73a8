# linkprobe.exe and toolboard.exe run under Wine as a technician runs them, beside the Linux programs in
# the same scenarios. Not a CTest case of this build: the test command runs it inside
# tests/wine_session.sh once the Windows builds and their packages are made (TAVIK_WINDOWS_BUILD), from
# the plain build only.
if(TAVIK_SANITIZE)
  return()
endif()
find_package(PNG REQUIRED)
add_executable(wine_gui_tests wine_gui_test.cpp)
# The library planted beside the Windows programs, built for each of their processors with MinGW-w64's C
# compilers (this build is the Linux one), and the import tables read with their objdump.
set(planted_libraries)
foreach(arch x86_64 i686)
  find_program(TAVIK_MINGW_${arch}_CC ${arch}-w64-mingw32-gcc REQUIRED)
  find_program(TAVIK_MINGW_${arch}_OBJDUMP ${arch}-w64-mingw32-objdump REQUIRED)
  set(planted ${CMAKE_CURRENT_BINARY_DIR}/planted-library-${arch}.dll)
  add_custom_command(OUTPUT ${planted}
    COMMAND ${TAVIK_MINGW_${arch}_CC} -shared -O2 -Wall -Werror -static-libgcc -o ${planted}
            ${CMAKE_CURRENT_SOURCE_DIR}/planted_library_win32.c
    DEPENDS planted_library_win32.c
    COMMENT "The library planted beside the ${arch} Windows programs" VERBATIM)
  list(APPEND planted_libraries ${planted})
endforeach()
add_custom_target(planted_libraries DEPENDS ${planted_libraries})
target_compile_definitions(wine_gui_tests PRIVATE
  PLANTED_LIBRARY_WIN64="${CMAKE_CURRENT_BINARY_DIR}/planted-library-x86_64.dll"
  PLANTED_LIBRARY_WIN32="${CMAKE_CURRENT_BINARY_DIR}/planted-library-i686.dll"
  OBJDUMP_WIN64="${TAVIK_MINGW_x86_64_OBJDUMP}" OBJDUMP_WIN32="${TAVIK_MINGW_i686_OBJDUMP}")
target_compile_definitions(wine_gui_tests PRIVATE
  LINKPROBE_PATH="$<TARGET_FILE:linkprobe>" TOOLBOARD_PATH="$<TARGET_FILE:toolboard>"
  TOOLBOARD_PE_FIXTURES="${CMAKE_CURRENT_BINARY_DIR}/version_fixtures"
  TOOLKIT_LEAKS_PATH="${CMAKE_CURRENT_SOURCE_DIR}/toolkit_leaks.supp" TAVIK_VERSION="${PROJECT_VERSION}"
  INSTALLER_SCRIPT="${PROJECT_SOURCE_DIR}/packaging/windows/tavik-service-tools.nsi")
target_link_libraries(wine_gui_tests PRIVATE testsupport link GTest::gtest X11::X11 PNG::PNG util)
add_dependencies(wine_gui_tests linkprobe toolboard sysutil_version_fixtures planted_libraries)
