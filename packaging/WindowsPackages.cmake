# The Windows programs as a technician gets them: linkprobe.exe and toolboard.exe with the icon and
# application manifest of packaging/windows/, the console programs of package_programs beside them, and the
# packages that carry them into the suite's C:\Tavik\BIN: tavik-service-tools-<version>-<win64|win32>.zip
# (-unsigned.zip from a build without a certificate), and the same as an NSIS installer where makensis
# is found. `cmake --build <dir> --target windows_packages` makes both.
set(TAVIK_WINDOWS_DIR ${CMAKE_CURRENT_SOURCE_DIR}/windows)

# The icon (resource 1, which the programs load for their windows) and the manifest (resource 1 of
# type 24, the one Windows reads when it starts the program).
set(program_rc ${CMAKE_CURRENT_BINARY_DIR}/program.rc)
file(WRITE ${program_rc}.new
  "1 ICON \"${TAVIK_WINDOWS_DIR}/tavik.ico\"\n"
  "1 24 \"${TAVIK_WINDOWS_DIR}/tavik.manifest\"\n")
configure_file(${program_rc}.new ${program_rc} COPYONLY)
set_source_files_properties(${program_rc} PROPERTIES
  OBJECT_DEPENDS "${TAVIK_WINDOWS_DIR}/tavik.ico;${TAVIK_WINDOWS_DIR}/tavik.manifest")
foreach(program linkprobe toolboard)
  target_sources(${program} PRIVATE ${program_rc})
endforeach()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(package_arch win64)
else()
  set(package_arch win32)
endif()
# Signing: a build configured with TAVIK_SIGN_PKCS12 in its environment signs the programs before they
# are packed, the installer's uninstaller as it is packed and the installer last, with
# scripts/sign-windows (which takes the certificate's path and password from the build's environment).
# Without one the packages are named "-unsigned", so that no one hands them out for signed ones.
set(package_name tavik-service-tools-${PROJECT_VERSION}-${package_arch})
if(DEFINED ENV{TAVIK_SIGN_PKCS12} AND NOT "$ENV{TAVIK_SIGN_PKCS12}" STREQUAL "")
  find_program(TAVIK_OSSLSIGNCODE osslsigncode)
  if(NOT TAVIK_OSSLSIGNCODE)
    message(FATAL_ERROR "TAVIK_SIGN_PKCS12 asks for signed Windows packages, and osslsigncode is not installed")
  endif()
  set(sign_tool ${PROJECT_SOURCE_DIR}/scripts/sign-windows)
  set(package_sign ${sign_tool})
  set(sign_certificate $ENV{TAVIK_SIGN_PKCS12})  # another certificate signs the packages anew
  set(installer_sign_define -DSIGN_TOOL=${sign_tool})
  set(package_signing "signed with $ENV{TAVIK_SIGN_PKCS12}")
else()
  set(package_sign ${CMAKE_COMMAND} -E true)
  set(sign_certificate)
  set(installer_sign_define)
  string(APPEND package_name -unsigned)
  set(package_signing "NOT SIGNED: no TAVIK_SIGN_PKCS12 was given")
  message(WARNING "The Windows programs and packages of this build are not signed (no TAVIK_SIGN_PKCS12): "
                  "${package_name}.zip")
endif()
set(package_stage ${CMAKE_CURRENT_BINARY_DIR}/stage)
set(package_zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
set(package_programs linkprobe toolboard linkconsole linkdump linkping)
set(program_files)
foreach(program ${package_programs})
  list(APPEND program_files $<TARGET_FILE:${program}>)
endforeach()

# A technician's copy carries no debugging information.
set(package_strip ${CMAKE_COMMAND} -E true)
set(staged_programs)
foreach(program ${package_programs})
  list(APPEND staged_programs ${package_stage}/BIN/$<TARGET_FILE_NAME:${program}>)
endforeach()
if(CMAKE_STRIP)
  set(package_strip ${CMAKE_STRIP} --strip-debug ${staged_programs})
endif()

# The zip holds the folder BIN, to be unpacked into C:\Tavik, and beside it the notice that names what
# the programs are built from (FLTK's licence asks that the programs identify their use of it).
set(package_notice ${TAVIK_WINDOWS_DIR}/NOTICE.txt)
add_custom_command(OUTPUT ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_stage}/BIN
  COMMAND ${CMAKE_COMMAND} -E copy ${program_files} ${package_stage}/BIN
  COMMAND ${CMAKE_COMMAND} -E copy ${package_notice} ${package_stage}/tavik-service-tools-NOTICE.txt
  COMMAND ${package_strip}
  COMMAND ${package_sign} ${staged_programs}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_stage} ${CMAKE_COMMAND} -E tar cf ${package_zip} --format=zip BIN
          tavik-service-tools-NOTICE.txt
  DEPENDS ${package_programs} ${package_notice} ${sign_tool} ${sign_certificate}
  COMMENT "Packing ${package_name}.zip, ${package_signing}")
set(package_outputs ${package_zip})

find_program(TAVIK_MAKENSIS makensis)
if(TAVIK_MAKENSIS)
  set(package_setup ${CMAKE_BINARY_DIR}/${package_name}-setup.exe)
  add_custom_command(OUTPUT ${package_setup}
    COMMAND ${TAVIK_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DARCH=${package_arch}
            -DSTAGE=${package_stage} -DICON=${TAVIK_WINDOWS_DIR}/tavik.ico -DOUTFILE=${package_setup}
            ${installer_sign_define} ${TAVIK_WINDOWS_DIR}/tavik-service-tools.nsi
    COMMAND ${package_sign} ${package_setup}
    DEPENDS ${package_zip} ${package_notice} ${TAVIK_WINDOWS_DIR}/tavik-service-tools.nsi
    COMMENT "Building the installer ${package_name}-setup.exe, ${package_signing}")
  list(APPEND package_outputs ${package_setup})
else()
  message(STATUS "makensis not found: windows_packages makes the zip only")
endif()
add_custom_target(windows_packages DEPENDS ${package_outputs})
