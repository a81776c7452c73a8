# linkprobe.exe and toolboard.exe run under Wine as a technician runs them, beside the Linux programs in
# the same scenarios. Not a CTest case of this build: the test command runs it inside
# tests/wine_session.sh once the Windows builds and their packages are made (TAVIK_WINDOWS_BUILD), from
# the plain build only.
if(TAVIK_SANITIZE)
  return()
endif()
find_package(PNG REQUIRED)
add_executable(wine_gui_tests wine_gui_test.cpp)
target_compile_definitions(wine_gui_tests PRIVATE
  LINKPROBE_PATH="$<TARGET_FILE:linkprobe>" TOOLBOARD_PATH="$<TARGET_FILE:toolboard>"
  TOOLBOARD_PE_FIXTURES="${CMAKE_CURRENT_BINARY_DIR}/version_fixtures"
  TOOLKIT_LEAKS_PATH="${CMAKE_CURRENT_SOURCE_DIR}/toolkit_leaks.supp" TAVIK_VERSION="${PROJECT_VERSION}"
  INSTALLER_SCRIPT="${PROJECT_SOURCE_DIR}/packaging/windows/tavik-service-tools.nsi")
target_link_libraries(wine_gui_tests PRIVATE testsupport link GTest::gtest X11::X11 PNG::PNG util)
add_dependencies(wine_gui_tests linkprobe toolboard sysutil_version_fixtures)
