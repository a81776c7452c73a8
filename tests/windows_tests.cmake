# The Windows build's tests: the platform-free units as on Linux, and the Win32 side of each platform
# facility against what Wine (or Windows) really does: sockets on loopback, COM ports, version
# resources, management queries.

# --- shared base ------------------------------------------------------------------------------------
tavik_test(sysbase_tests
  SOURCES system_error_test.cpp
  LIBS sysbase)

# --- link library: objects, records, queues, socket links on loopback -------------------------------
# The link console is found beside the test program's own folder, so that the path holds under Wine too.
tavik_test(link_tests
  SOURCES link_clock_test.cpp link_keyvalue_test.cpp link_object_test.cpp link_record_test.cpp
          link_queue_test.cpp link_connect_test.cpp link_socket_test.cpp linkconsole_test.cpp
          link_net_test.cpp link_newfile_test.cpp link_socket_win32_test.cpp child_process_win32.cpp
  LIBS link)
add_dependencies(link_tests linkconsole)
target_compile_definitions(link_tests PRIVATE
  LINKCONSOLE_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:linkconsole>,$<TARGET_FILE_DIR:link_tests>>")

# linkprobe's game link test against gameecho and a scripted game computer on 127.0.0.1. The game link's
# port is fixed (5510), so the cases run one after the other in this one program.
tavik_test(game_tests
  SOURCES game_communications_win32_test.cpp child_process_win32.cpp
  LIBS probelogic gameecholib)
add_dependencies(game_tests gameecho)
target_compile_definitions(game_tests PRIVATE
  GAMEECHO_PATH="$<PATH:RELATIVE_PATH,$<TARGET_FILE:gameecho>,$<TARGET_FILE_DIR:game_tests>>")
# --- end of link library ----------------------------------------------------------------------------

# --- serial ports and COM devices -------------------------------------------------------------------
# --- end of serial ports and COM devices ------------------------------------------------------------

# --- system utilities -------------------------------------------------------------------------------
# --- end of system utilities ------------------------------------------------------------------------

# --- program logic of linkprobe and toolboard -------------------------------------------------------
# --- end of program logic ---------------------------------------------------------------------------
