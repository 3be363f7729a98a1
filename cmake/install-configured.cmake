cmake_policy(VERSION 3.25)
# Run while installing: writes the menu entry and the service with the
# install prefix of this install (`--prefix`, or the package's /usr).
# file(INSTALL) adds DESTDIR and records the files in the install manifest.

# A path as one word of a desktop entry's Exec line: quoted when it holds
# anything but plain characters, with "%" doubled (it starts a field code).
function(zubeto_desktop_exec_word path out)
  string(REPLACE "%" "%%" word "${path}")
  if(word MATCHES "[^A-Za-z0-9_./+-]")
    string(REPLACE "\\" "\\\\" word "${word}")
    foreach(c "\"" "`" "$")
      string(REPLACE "${c}" "\\${c}" word "${word}")
    endforeach()
    set(word "\"${word}\"")
    # The value of a key is itself a string with backslash escapes.
    string(REPLACE "\\" "\\\\" word "${word}")
  endif()
  set(${out} "${word}" PARENT_SCOPE)
endfunction()

# A path as a systemd command: quoted when it holds a blank or a quote,
# "%" doubled (it starts a specifier), backslashes and quotes escaped.
function(zubeto_unit_exec_word path out)
  string(REPLACE "%" "%%" word "${path}")
  if(word MATCHES "[ \t\"'\\\\]")
    string(REPLACE "\\" "\\\\" word "${word}")
    string(REPLACE "\"" "\\\"" word "${word}")
    set(word "\"${word}\"")
  endif()
  set(${out} "${word}" PARENT_SCOPE)
endfunction()

if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_PREFIX}")
  message(FATAL_ERROR "the install prefix must be an absolute path: ${CMAKE_INSTALL_PREFIX}")
endif()
string(RANDOM LENGTH 16 _zubeto_tag)
set(_zubeto_tmp "${ZUBETO_INSTALL_TMP}/${_zubeto_tag}")
file(MAKE_DIRECTORY "${_zubeto_tmp}")

zubeto_unit_exec_word("${CMAKE_INSTALL_PREFIX}/${ZUBETO_INSTALL_PROGRAM_DIR}/ZUBETOC" ZUBETO_WORKER)
configure_file("${ZUBETO_PACKAGING_DIR}/zubeto.service.in" "${_zubeto_tmp}/zubeto.service" @ONLY)
file(INSTALL "${_zubeto_tmp}/zubeto.service" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")

if(ZUBETO_WITH_WINDOW)
  zubeto_desktop_exec_word("${CMAKE_INSTALL_PREFIX}/bin/zubeto" ZUBETO_LAUNCHER)
  configure_file("${ZUBETO_PACKAGING_DIR}/zubeto.desktop.in" "${_zubeto_tmp}/zubeto.desktop" @ONLY)
  file(INSTALL "${_zubeto_tmp}/zubeto.desktop" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
endif()
file(REMOVE_RECURSE "${_zubeto_tmp}")
