# The Windows build's tests: the platform-free units as on Linux, and the Win32 side of each platform
# facility against what Wine (or Windows) really does: sockets on loopback, COM ports, version
# resources, management queries.

# --- platform base ----------------------------------------------------------------------------------
tavik_test(platform_tests
  SOURCES platform_win32_test.cpp
  LIBS platform)

# --- link library: objects, records, queues, socket links on loopback -------------------------------
# The link console is found beside the test program's own folder, so that the path holds under Wine too.
tavik_test(link_tests
  SOURCES link_object_test.cpp link_record_test.cpp
          link_socket_test.cpp link_socket_win32_test.cpp
  LIBS link
  INTERNALS link)
add_dependencies(link_tests linkconsole)
target_compile_definitions(link_tests PRIVATE
  LINKCONSOLE_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:linkconsole>,$<TARGET_FILE_DIR:link_tests>>")

# linkprobe's game link test and linkping.exe against gameecho and a scripted game computer on 127.0.0.1.
# The game link's port is fixed (5510), so the cases run one after the other in this one program.
tavik_test(game_tests
  SOURCES game_communications_test.cpp
  LIBS probelogic gameecholib linkpinglogic)
add_dependencies(game_tests gameecho linkping)
target_compile_definitions(game_tests PRIVATE
  GAMEECHO_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:gameecho>,$<TARGET_FILE_DIR:game_tests>>"
  LINKPING_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:linkping>,$<TARGET_FILE_DIR:game_tests>>")

# linkdump over record files the link wrote, and the program following a file.
tavik_test(linkdump_tests
  SOURCES linkdump_test.cpp
  LIBS linkdumplogic link
  INTERNALS link)
add_dependencies(linkdump_tests linkdump)
target_compile_definitions(linkdump_tests PRIVATE
  LINKDUMP_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:linkdump>,$<TARGET_FILE_DIR:linkdump_tests>>")
# --- end of link library ----------------------------------------------------------------------------

# --- serial ports and COM devices -------------------------------------------------------------------
# The comm API on the pair of joined COM ports that tests/wine_session.sh maps to pseudo-terminals.
tavik_test(serial_tests
  SOURCES serial_port_test.cpp serial_port_win32_test.cpp serial_pair_win32.cpp link_serial_test.cpp
          com_scan_win32_test.cpp
  LIBS link serial sysutil
  INTERNALS link)
# --- end of serial ports and COM devices ------------------------------------------------------------

# --- system utilities -------------------------------------------------------------------------------
# Version resources (the PE fixtures and our own programs), the platform query, WMI, the host address
# line and adapter tables, files and the own path, the starters and the network shell; linkprobe's
# resolver check and sound player; toolboard's spawn-and-wait and program rows. Paths handed to the tests
# are Windows paths: a cross build run under Wine reaches the build tree through drive Z:.
if(CMAKE_HOST_UNIX)
  set(sysutil_test_drive "Z:")
else()
  set(sysutil_test_drive "")
endif()
add_executable(tavik_recording_helper recording_helper_win32.cpp)
# What the installer's access lists let a user and an administrator do, for the installer test under Wine.
add_executable(tavik_access_check access_check_win32.cpp)
target_link_libraries(tavik_access_check PRIVATE shell32)
add_executable(sysutil_probe sysutil_probe_win32.cpp)
target_link_libraries(sysutil_probe PRIVATE sysutil)
add_executable(sysutil_versioned_helper version_fixtures/helper_main.c)
tavik_embed_version(sysutil_versioned_helper FILE_VERSION 2.4.6.8 PRODUCT_VERSION 2.0.0.0 TRANSLATION 0407/04e4
                    PRIVATE_BUILD 7.1 SPECIAL_BUILD field-test)
add_executable(sysutil_plain_helper version_fixtures/helper_main.c)
add_subdirectory(version_fixtures)

tavik_test(sysutil_tests
  SOURCES version_info_test.cpp version_info_win32_test.cpp wmi_query_win32_test.cpp host_network_win32_test.cpp
          file_access_win32_test.cpp system_tools_win32_test.cpp ip_setup_test.cpp
  LIBS appbase sysutil netsetup
  INTERNALS appbase sysutil netsetup)
tavik_embed_version(sysutil_tests FILE_VERSION 1.0.0.3 PRODUCT_VERSION 1.0.0.1 TRANSLATION 0409/04b0
                    PRIVATE_BUILD 1.3)
add_dependencies(sysutil_tests sysutil_versioned_helper sysutil_plain_helper sysutil_version_fixtures
                 tavik_recording_helper sysutil_probe)
target_compile_definitions(sysutil_tests PRIVATE
  SYSUTIL_VERSIONED_HELPER="${sysutil_test_drive}$<TARGET_FILE:sysutil_versioned_helper>"
  SYSUTIL_PLAIN_HELPER="${sysutil_test_drive}$<TARGET_FILE:sysutil_plain_helper>"
  SYSUTIL_PE_FIXTURES="${sysutil_test_drive}${CMAKE_CURRENT_BINARY_DIR}/version_fixtures"
  RECORDING_HELPER="${sysutil_test_drive}$<TARGET_FILE:tavik_recording_helper>"
  SYSUTIL_PROBE="${sysutil_test_drive}$<TARGET_FILE:sysutil_probe>")

tavik_test(probe_platform_tests
  SOURCES probe_platform_win32_test.cpp
  LIBS probelogic)

tavik_test(toolboard_platform_tests
  SOURCES toolboard_platform_win32_test.cpp
  LIBS toolboardlogic)
add_dependencies(toolboard_platform_tests tavik_recording_helper sysutil_version_fixtures)
target_compile_definitions(toolboard_platform_tests PRIVATE
  RECORDING_HELPER="${sysutil_test_drive}$<TARGET_FILE:tavik_recording_helper>"
  TOOLBOARD_PE_FIXTURES="${sysutil_test_drive}${CMAKE_CURRENT_BINARY_DIR}/version_fixtures")
# --- end of system utilities ------------------------------------------------------------------------

# --- program logic of linkprobe and toolboard -------------------------------------------------------
tavik_test(probe_tests
  SOURCES probe_logic_test.cpp
  LIBS probelogic)
# --- end of program logic ---------------------------------------------------------------------------
