# CPack settings of the Debian package tavik-service-tools: what cmake --install lays out under the
# prefix, with the shared-library dependencies found by dpkg-shlibdeps. scripts/package runs it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TAVIK_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${TAVIK_DEVELOPER})
set(CPACK_PACKAGE_CONTACT "Tavik Service Tools Team <service-tools@tavik.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tools for the Tavik EEG neurofeedback suite")
set(CPACK_PACKAGE_DESCRIPTION
  "Tools that prove a two-computer Tavik installation works and help a technician
repair it, on site or over the phone.

Tavik Comm Check (linkprobe) checks the configured amplifier, tests the link to
the game computer by echo, reports the serial ports, the suite's configuration
version, processor, memory and address, and sets the computer's IPv4 address
for the two-computer network. Run with STARTUPTEST it checks the amplifier
without a window and answers with its exit code; run with REPORT it writes the
window's findings and both tests to the standard output, the exit code telling
which test failed.

Tavik Tech Support Menu (toolboard) starts the suite's service programs and the
desktop's own tools and reports the installed suite programs and media players.

Also included: linkconsole, which exercises a link between two computers by
hand, linkdump, which prints the link's record files as text, linkping, which
tests the game link continuously by echo as ping tests a network, and
gameecho, a stand-in game computer for testing the therapist side alone.")

# <name>_<version>_<architecture>.deb, the architecture being dpkg's own.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides its libraries: the address helper runs ip (nmcli where NetworkManager manages the
# interface), a user who is not root needs pkexec for it, and DHCP without NetworkManager needs dhclient.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iproute2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "isc-dhcp-client")

include(CPack)
