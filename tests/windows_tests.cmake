# The Windows build's tests: the platform-free units as on Linux, and the Win32 side of each platform
# facility against what Wine (or Windows) really does: sockets on loopback, COM ports, version
# resources, management queries.

# --- shared base ------------------------------------------------------------------------------------
tavik_test(sysbase_tests
  SOURCES system_error_test.cpp
  LIBS sysbase)

# --- link library: objects, records, queues, socket links on loopback -------------------------------
tavik_test(link_tests
  SOURCES link_clock_test.cpp link_keyvalue_test.cpp link_object_test.cpp link_record_test.cpp
          link_queue_test.cpp link_connect_test.cpp link_socket_test.cpp
  LIBS link)
# --- end of link library ----------------------------------------------------------------------------

# --- serial ports and COM devices -------------------------------------------------------------------
# The comm API on the pair of joined COM ports that tests/wine_session.sh maps to pseudo-terminals.
tavik_test(serial_tests
  SOURCES serial_port_win32_test.cpp link_serial_win32_test.cpp com_scan_win32_test.cpp
  LIBS link sysutil)
# --- end of serial ports and COM devices ------------------------------------------------------------

# --- system utilities -------------------------------------------------------------------------------
# --- end of system utilities ------------------------------------------------------------------------

# --- program logic of linkprobe and toolboard -------------------------------------------------------
# --- end of program logic ---------------------------------------------------------------------------
