# Installation layout beyond the two programs (their rules sit with their targets) and the
# Debian package built from it with `cpack -G DEB`.
#
#   bin/k3316-utility, bin/k3316-sim, bin/k3316-cli
#   lib/<multiarch>/wireshark/extcap/k3316-extcap (cli/CMakeLists.txt)
#   share/applications/k3316-utility.desktop
#   share/icons/hicolor/scalable/apps/k3316-utility.svg
#   share/icons/hicolor/256x256/apps/k3316-utility.png
#   share/doc/k3316-utility/README.md, copyright (machine-readable), changelog.gz
#   share/doc/k3316-utility/*.md and screenshots/ (docs/; Help > Manual opens manual.md)
#   share/doc/k3316-utility/examples/demo.dbc (the database of `k3316-sim --demo`)
#   share/metainfo/org.example.k3316_utility.metainfo.xml (AppStream)
#   share/man/man1/*.1.gz (man/CMakeLists.txt)
#
# Resource files are installed when they are present at configure time, so a tree that is
# still growing configures; scripts/check-install.sh says which ones are missing.

set(K3316_APP_ID k3316-utility)
set(K3316_RESOURCES ${CMAKE_SOURCE_DIR}/resources)
# A file added to these folders changes their time stamp, which makes the build configure again
# and pick it up.
foreach(dir ${K3316_RESOURCES} ${K3316_RESOURCES}/icons)
  if(IS_DIRECTORY ${dir})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dir})
  endif()
endforeach()

if(EXISTS ${K3316_RESOURCES}/${K3316_APP_ID}.desktop)
  install(FILES ${K3316_RESOURCES}/${K3316_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# The desktop file names its icon by the application id, so both sizes are renamed to it.
if(EXISTS ${K3316_RESOURCES}/icons/${K3316_APP_ID}.svg)
  install(FILES ${K3316_RESOURCES}/icons/${K3316_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(EXISTS ${K3316_RESOURCES}/icons/app256.png)
  install(FILES ${K3316_RESOURCES}/icons/app256.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
          RENAME ${K3316_APP_ID}.png)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${K3316_APP_ID})
endif()

# The manuals of docs/. The build tree gets them in the same place under its own root, so an
# uninstalled build/bin/k3316-utility finds manual.md beside its tree as an installed one does.
set(K3316_DOCS ${CMAKE_SOURCE_DIR}/docs)
if(IS_DIRECTORY ${K3316_DOCS})
  install(DIRECTORY ${K3316_DOCS}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${K3316_APP_ID})
  file(GLOB_RECURSE K3316_DOC_FILES RELATIVE ${K3316_DOCS} ${K3316_DOCS}/*)
  foreach(doc ${K3316_DOC_FILES})
    configure_file(${K3316_DOCS}/${doc} ${CMAKE_BINARY_DIR}/share/doc/${K3316_APP_ID}/${doc} COPYONLY)
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${K3316_DOCS} ${K3316_DOCS}/screenshots)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/examples/demo.dbc
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${K3316_APP_ID}/examples)

# Debian's place for them; installed by `cmake --install` as well, so every install carries them.
set(K3316_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${K3316_PACKAGING}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${K3316_APP_ID})
set(K3316_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${K3316_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${K3316_PACKAGING}/changelog ${K3316_CHANGELOG_GZ}
  DEPENDS ${K3316_PACKAGING}/changelog
  VERBATIM)
add_custom_target(k3316_changelog ALL DEPENDS ${K3316_CHANGELOG_GZ})
install(FILES ${K3316_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${K3316_APP_ID})

install(FILES ${K3316_RESOURCES}/org.example.k3316_utility.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

if(K3316_BUILD_TESTS)
  # Installs into a scratch prefix and checks the result; the programs must be built first,
  # which `make test` does.
  add_test(NAME install_layout COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-install.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install_layout PROPERTIES TIMEOUT 120)
endif()

# --- Debian package ---------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${K3316_APP_ID})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(K3316_MAINTAINER "K-3316 Utility Developers <k3316-utility@example.org>")
set(CPACK_PACKAGE_VENDOR "K-3316 Utility Developers")
set(CPACK_PACKAGE_CONTACT ${K3316_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration and test utility for the K-3316 RS-232-to-CAN converter")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ${K3316_APP_ID})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${K3316_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary first and indents these lines; the empty line separates paragraphs.
# Lintian wants every line within 80 characters, the leading blank included.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The K-3316 Utility reads and writes the RS-232 and CAN parameters of a K-3316
converter module in configuration mode, and in operation mode composes CAN
messages, sends them once or periodically and lists every line the module
sends.

The package also holds k3316-sim, a virtual K-3316 module on a pseudo-terminal,
for trying the utility without hardware, k3316-cli for scripts, and
k3316-extcap, which lets Wireshark capture the module's CAN frames live.")
# Wireshark runs k3316-extcap from its extcap folder; nothing else here needs it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
# dpkg-shlibdeps (package dpkg-dev) turns the linked Qt and libjpeg libraries into Depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
