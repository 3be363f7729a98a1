# Installing on POSIX: `cmake --install build --prefix P` (and DESTDIR).
#
# The programs look for what they load beside themselves (the worker for the
# archiver libraries, the window for the worker and the share check
# library), so all of them stay together in P/lib/zubeto. P/bin holds the
# commands: ZUBETOC and ZUBETOB are links into that folder (the programs
# find their own folder through the link), and `zubeto` starts the window
# in the user's job folder. The menu entry, the icon, the nightly timer and
# the manual pages go where the desktop, systemd and man look for them.
if(WIN32)
  return()
endif()

set(ZUBETO_INSTALL_PROGRAM_DIR lib/zubeto)
set(ZUBETO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

set(_zubeto_deliverables ZUBETOC zubeto_sharecheck zip32j tar32 unlha32 cab32)
set(_zubeto_commands ZUBETOC)
set(_zubeto_manuals ZUBETOC.1)
set(_zubeto_with_window OFF)
if(TARGET ZUBETOB)
  set(_zubeto_with_window ON)
  list(APPEND _zubeto_deliverables ZUBETOB)
  list(APPEND _zubeto_commands ZUBETOB)
  list(APPEND _zubeto_manuals ZUBETOB.1 zubeto.1)
endif()
install(TARGETS ${_zubeto_deliverables}
        RUNTIME DESTINATION ${ZUBETO_INSTALL_PROGRAM_DIR}
        LIBRARY DESTINATION ${ZUBETO_INSTALL_PROGRAM_DIR})

# Relative links, so that an install under DESTDIR works where it lies too.
set(_zubeto_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_zubeto_links})
foreach(_prog ${_zubeto_commands})
  file(CREATE_LINK ../${ZUBETO_INSTALL_PROGRAM_DIR}/${_prog} ${_zubeto_links}/${_prog} SYMBOLIC)
  install(FILES ${_zubeto_links}/${_prog} DESTINATION bin)
endforeach()

# Manual pages are installed compressed, as Debian wants them (-n: no name
# or time inside, so the same page gives the same bytes).
set(_zubeto_man_out ${CMAKE_BINARY_DIR}/man)
set(_zubeto_man_files)
foreach(_page ${_zubeto_manuals})
  add_custom_command(OUTPUT ${_zubeto_man_out}/${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_zubeto_man_out}
    COMMAND gzip -9n -c ${ZUBETO_PACKAGING_DIR}/man/${_page} > ${_zubeto_man_out}/${_page}.gz
    DEPENDS ${ZUBETO_PACKAGING_DIR}/man/${_page}
    VERBATIM)
  list(APPEND _zubeto_man_files ${_zubeto_man_out}/${_page}.gz)
endforeach()
add_custom_target(zubeto_manuals ALL DEPENDS ${_zubeto_man_files})
install(FILES ${_zubeto_man_files} DESTINATION share/man/man1)

install(FILES ${ZUBETO_PACKAGING_DIR}/zubeto.timer DESTINATION lib/systemd/user)

# The licence and what the package links from others, where Debian wants
# them: a machine-readable copyright file, the third-party notices, and the
# changelog made from the release notes (NEWS).
set(ZUBETO_DEB_MAINTAINER "Zubeto developers <zubeto@example.org>" CACHE STRING
    "Maintainer of the Debian package (name and mail address)")
set(_zubeto_doc share/doc/zubeto)
set(_zubeto_changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${_zubeto_changelog}
  COMMAND ${CMAKE_COMMAND} -DNEWS=${PROJECT_SOURCE_DIR}/NEWS -DOUT=${CMAKE_BINARY_DIR}/doc/changelog
          -DPACKAGE=zubeto "-DMAINTAINER=${ZUBETO_DEB_MAINTAINER}"
          -P ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/NEWS ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  VERBATIM)
add_custom_target(zubeto_changelog ALL DEPENDS ${_zubeto_changelog})
install(FILES ${_zubeto_changelog} ${ZUBETO_PACKAGING_DIR}/debian/copyright
              ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
        DESTINATION ${_zubeto_doc})

if(TARGET ZUBETOB)
  install(PROGRAMS ${ZUBETO_PACKAGING_DIR}/zubeto-launcher.sh DESTINATION bin RENAME zubeto)
  install(FILES ${ZUBETO_PACKAGING_DIR}/zubeto.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()

# The menu entry and the service name the installed programs by their full
# path, which is known only when installing (`--prefix` may change it).
install(CODE "
  set(ZUBETO_PACKAGING_DIR \"${ZUBETO_PACKAGING_DIR}\")
  set(ZUBETO_INSTALL_PROGRAM_DIR \"${ZUBETO_INSTALL_PROGRAM_DIR}\")
  set(ZUBETO_INSTALL_TMP \"${CMAKE_BINARY_DIR}/install-tmp\")
  set(ZUBETO_WITH_WINDOW \"${_zubeto_with_window}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install-configured.cmake)

# The Debian package: `cpack -G DEB` in the build folder (or
# `cpack -G DEB --config build/CPackConfig.cmake`). Its library dependencies
# come from the binaries (dpkg-shlibdeps); only what no binary names is
# listed by hand: the Qt platform plugins the window needs to show itself.
set(CPACK_PACKAGE_NAME zubeto)
set(CPACK_PACKAGE_VENDOR "Zubeto")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unattended backup of chosen files into one dated archive")
set(CPACK_PACKAGE_DESCRIPTION
    "Zubeto backs up the files and folders you choose into one dated archive\n(LZH, ZIP, CAB or TAR) in a folder you choose, unattended, and records\nevery run in its run log. A settings window builds the job; a nightly\nsystemd user timer runs it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install scripts see the final prefix (/usr) and write under DESTDIR,
# so the paths written into the menu entry and the service are the real ones.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZUBETO_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET ZUBETOB)
  # The window sets its captions in a Japanese gothic face (IPAGothic, see
  # settings/qt/window.cpp); without a font with Japanese glyphs, names and
  # Japanese captions would show as boxes.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic | fonts-japanese-gothic")
  # "ﾛｸﾞ表示" opens the run log through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
# Our libraries are plugins in the program's private folder: no ldconfig
# calls in the maintainer scripts (see deb-file-type.sh).
set(CPACK_ZUBETO_FILE_TYPE ${CMAKE_CURRENT_LIST_DIR}/deb-file-type.sh)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-project.cmake)
include(CPack)
