# AppStream metadata of the two windowed programs, share/metainfo/<id>.metainfo.xml, which software
# centres and program finders read. The name and categories come from each program's menu entry and
# the releases from the changelog, so that the metadata cannot drift from either.

# Ends the changelog item being read: one <li> more in the release's items.
macro(tavik_release_item_end)
  if(NOT item STREQUAL "")
    string(APPEND items "          <li>${item}</li>\n")
  endif()
  set(item "")
endmacro()

# The changelog's entries, newest first, as AppStream <release> elements: the version, the day of
# the entry's sign-off line, and its items as a list. Returns them in out_var.
function(tavik_changelog_releases changelog out_var)
  file(READ ${changelog} text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  # A semicolon would split CMake's list of lines; it is put back in each line.
  string(ASCII 1 semicolon)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(releases "")
  set(items "")
  set(item "")
  foreach(line IN LISTS lines)
    string(REPLACE "${semicolon}" ";" line "${line}")
    if(line MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([^)]+)\\) ")
      set(version ${CMAKE_MATCH_1})
    elseif(line MATCHES "^  \\* (.*)$")
      tavik_release_item_end()
      set(item "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^    +(.*)$")
      string(APPEND item " ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], +([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
      tavik_release_item_end()
      set(day ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_3})
      list(FIND months ${CMAKE_MATCH_2} month)
      string(REGEX REPLACE "^([0-9])$" "0\\1" day ${day})
      math(EXPR month "${month} + 1")
      string(REGEX REPLACE "^([0-9])$" "0\\1" month ${month})
      string(APPEND releases "    <release version=\"${version}\" date=\"${year}-${month}-${day}\">\n")
      if(NOT items STREQUAL "")
        string(APPEND releases "      <description>\n        <ul>\n${items}        </ul>\n      </description>\n")
      endif()
      string(APPEND releases "    </release>\n")
      set(items "")
    elseif(line MATCHES "^ -- ")
      message(FATAL_ERROR "${changelog}: a sign-off line without its date: ${line}")
    endif()
  endforeach()
  string(REGEX REPLACE "\n$" "" releases "${releases}")
  set(${out_var} "${releases}" PARENT_SCOPE)
endfunction()

# The value of one key of a desktop entry's template; returns it in out_var.
function(tavik_desktop_key entry key out_var)
  file(READ ${entry} text)
  if(NOT text MATCHES "\n${key}=([^\n]*)")
    message(FATAL_ERROR "${entry} has no ${key}=")
  endif()
  set(${out_var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

set(linkprobe_summary "Check a Tavik station's amplifier, game link, ports and address")
set(linkprobe_description [[
    <p>Tavik Comm Check proves that a computer of a two-computer Tavik EEG neurofeedback installation
    works: the therapist computer that reads the amplifier, or the game computer that it drives over
    the network or a serial cable.</p>
    <p>It checks the configured amplifier, tests the link to the game computer by echo, plays the
    reward sound here or on the game computer, reports the serial ports, the suite's configuration
    version, the processor, memory and address, and sets the computer's IPv4 address for the
    two-computer network. Its texts are meant to be read out to a technician over the phone.</p>
    <p>Started with STARTUPTEST it checks the amplifier without a window and answers with its exit
    code.</p>]])
set(toolboard_summary "Start the Tavik service programs and report the installed software")
set(toolboard_description [[
    <p>Tavik Tech Support Menu is the technician's launch pad on a computer of a Tavik EEG
    neurofeedback installation.</p>
    <p>Its buttons start the suite's other service programs and the desktop's own tools, rescan the
    serial ports, report the installed suite programs, feedback games and media players with their
    build texts and dates, and open the IP set-up dialog that sets the computer's address for the
    two-computer network.</p>]])

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS changelog)
tavik_changelog_releases(${CMAKE_CURRENT_SOURCE_DIR}/changelog metainfo_releases)
foreach(program linkprobe toolboard)
  set(metainfo_id org.tavik.servicetools.${program})
  set(metainfo_summary "${${program}_summary}")
  set(metainfo_description "${${program}_description}")
  tavik_desktop_key(${CMAKE_CURRENT_SOURCE_DIR}/tavik-${program}.desktop.in Name metainfo_name)
  tavik_desktop_key(${CMAKE_CURRENT_SOURCE_DIR}/tavik-${program}.desktop.in Categories categories)
  string(REGEX REPLACE "([^;]+);?" "    <category>\\1</category>\n" metainfo_categories "${categories}")
  string(REGEX REPLACE "\n$" "" metainfo_categories "${metainfo_categories}")
  configure_file(metainfo.xml.in ${metainfo_id}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${metainfo_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endforeach()
