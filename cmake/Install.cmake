# Installing the programs where a Debian system looks for them, and the .deb made from that
# install. The window program's own files (its desktop entry and icon) are installed beside its
# target in src/app; everything else a user's system needs is here.
include(GNUInstallDirs)

set(QARVO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS qarvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QARVO_PACKAGING_DIR}/qarvo.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qarvo)

# Manual pages are installed compressed, as Debian ships them; -n keeps the archive free of
# the build's time stamp, so two builds give the same package.
find_program(QARVO_GZIP gzip REQUIRED)
set(QARVO_MAN_PAGES qarvo.1)
if(QARVO_GUI)
  list(APPEND QARVO_MAN_PAGES qarvo-gui.1)
endif()
set(_man_outputs)
foreach(_page ${QARVO_MAN_PAGES})
  set(_out ${CMAKE_BINARY_DIR}/man/${_page}.gz)
  add_custom_command(
    OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${QARVO_GZIP} -9 -n -c ${QARVO_PACKAGING_DIR}/${_page} > ${_out}
    DEPENDS ${QARVO_PACKAGING_DIR}/${_page}
    COMMENT "Compressing the manual page ${_page}")
  list(APPEND _man_outputs ${_out})
endforeach()
add_custom_target(qarvo_man ALL DEPENDS ${_man_outputs})
install(FILES ${_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(QARVO_GUI)
  install(FILES ${QARVO_PACKAGING_DIR}/org.qarvo.Qarvo.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The file type of split pieces, which the desktop entry opens.
  install(FILES ${QARVO_PACKAGING_DIR}/qarvo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
endif()

# The Debian package: `cpack -G DEB` in the build folder. dpkg-shlibdeps finds the libraries;
# the windows also need the fonts that stand in for their Windows fonts, which no library
# dependency pulls in.
set(QARVO_PACKAGE_MAINTAINER "Qarvo maintainers <maintainers@qarvo.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qarvo)
set(CPACK_PACKAGE_CONTACT ${QARVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split files into pieces and join them again")
set(CPACK_PACKAGE_DESCRIPTION
    "Qarvo文件分割助手 cuts a file into pieces (.vrk split sets) and joins them again from\n\
any one piece, with an optional MD5 or CRC32 check, zlib compression and a password.\n\
It also packs and unpacks many files, bundles one file onto another, compares two\n\
files and cuts a time span out of an MP3 file. The package holds the window program\n\
qarvo-gui and the command line program qarvo.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(QARVO_GUI)
  # Qt's own texts (dialog buttons, file dialogs) in Chinese, as the program loads them.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, fonts-liberation2, qt6-translations-l10n")
endif()
include(CPack)

# The install into a scratch prefix and the package are checked against each other; both
# write the build folder's install manifest, so they take turns.
if(QARVO_TESTS AND QARVO_GUI)
  add_test(NAME install.tree COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/check_install.sh
                                     ${CMAKE_BINARY_DIR})
  add_test(NAME install.deb COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/check_deb.sh
                                    ${CMAKE_BINARY_DIR})
  set_tests_properties(install.tree install.deb PROPERTIES LABELS install RESOURCE_LOCK
                                                           qarvo_install TIMEOUT 600)
endif()
