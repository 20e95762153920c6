# cmake --install and the two Debian packages (cpack -G DEB):
#   quorvel      the window: launcher, its library and the casting program in
#                lib/<multiarch>/quorvel, menu entry, icons, AppStream metainfo
#   quorvel-cli  quorvelctl and the simulator quorvel-device: no display libraries
# Dependencies come from the binaries (dpkg-shlibdeps).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(data ${PROJECT_SOURCE_DIR}/data)
set(staged ${CMAKE_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${staged})

# Man pages and changelogs carry the version and are installed compressed.
set(compressed)
foreach(source IN ITEMS man/quorvelctl.1 man/quorvel-device.1 man/quorvel.1 changelog)
  get_filename_component(name ${source} NAME)
  configure_file(${data}/${source} ${staged}/${name} @ONLY)
  add_custom_command(OUTPUT ${staged}/${name}.gz
    COMMAND gzip -9n -c ${staged}/${name} > ${staged}/${name}.gz
    DEPENDS ${staged}/${name} VERBATIM)
  list(APPEND compressed ${staged}/${name}.gz)
endforeach()
add_custom_target(quorvel_package_data ALL DEPENDS ${compressed})
configure_file(${data}/systemd/quorvelctl-serve.service ${staged}/quorvelctl-serve.service @ONLY)
configure_file(${data}/com.quorvel.Client.metainfo.xml ${staged}/com.quorvel.Client.metainfo.xml @ONLY)

# quorvel-cli
install(TARGETS quorvelctl quorvel-device RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${staged}/quorvelctl.1.gz ${staged}/quorvel-device.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${data}/completion/quorvelctl.bash RENAME quorvelctl
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT cli)
install(FILES ${data}/completion/_quorvelctl DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT cli)
install(FILES ${data}/firewall/quorvel.ufw RENAME quorvel DESTINATION /etc/ufw/applications.d COMPONENT cli)
install(FILES ${data}/firewall/quorvel.xml DESTINATION lib/firewalld/services COMPONENT cli)
install(FILES ${staged}/quorvelctl-serve.service DESTINATION lib/systemd/user COMPONENT cli)
install(FILES ${data}/copyright ${staged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel-cli COMPONENT cli)

set(components cli)
if(TARGET quorvel)
  list(APPEND components gui)
  # The launcher finds the window's library in the library folder, wherever the tree lies.
  file(RELATIVE_PATH launcher_to_library ${CMAKE_INSTALL_FULL_BINDIR} ${QUORVEL_INSTALL_FULL_PKGLIBDIR})
  set_target_properties(quorvel PROPERTIES INSTALL_RPATH "\$ORIGIN/${launcher_to_library}")
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(TARGETS QuorvelClient LIBRARY DESTINATION ${QUORVEL_INSTALL_PKGLIBDIR} COMPONENT gui NAMELINK_SKIP)
  install(TARGETS Vantrope RUNTIME DESTINATION ${QUORVEL_INSTALL_PKGLIBDIR} COMPONENT gui)
  install(FILES ${data}/com.quorvel.Client.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${staged}/com.quorvel.Client.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
  install(FILES ${staged}/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
  install(FILES ${data}/copyright ${staged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel COMPONENT gui)
  # The theme's icons, rendered from the logo's SVG.
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/drawable/logo.svg RENAME quorvel.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
  set(icons)
  foreach(size IN ITEMS 16 22 24 32 48 64 128 256 512)
    set(png ${staged}/icons/${size}/quorvel.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}/icons/${size}
      COMMAND quorvel-render-drawable ${PROJECT_SOURCE_DIR}/src/resources/drawable/logo.svg ${png} ${size} ${size}
      DEPENDS quorvel-render-drawable ${PROJECT_SOURCE_DIR}/src/resources/drawable/logo.svg VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT gui)
  endforeach()
  add_custom_target(quorvel_icons ALL DEPENDS ${icons})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <packages@quorvel.com>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr) # Debian packages live in /usr, whatever the build's own prefix
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvel.com/")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME quorvel-cli)
set(CPACK_DEBIAN_GUI_PACKAGE_NAME quorvel)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION net)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION net)
# Loaded at run time, so invisible to shlibdeps: the SQLite driver of the history, and
# the mDNS daemon the client browses through.
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "libqt5sql5-sqlite")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "avahi-daemon")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "quorvel-cli (= ${PROJECT_VERSION}), libqt5sql5-sqlite, hicolor-icon-theme")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "avahi-daemon, qttranslations5-l10n")
# The first line is the synopsis; CPack indents the others.
set(CPACK_COMPONENT_GUI_DESCRIPTION "client for Quorvel conference-room display devices
Finds the conference-room display devices of the Quorvel family and the
other PCs that run the client, uploads files to them, browses their files,
receives offered files and casts this screen.")
set(CPACK_COMPONENT_CLI_DESCRIPTION "command-line client for Quorvel conference-room display devices
quorvelctl moves files to and from Quorvel devices and other PCs, receives
offered files (also as a systemd user service) and checks why a device does
not show up. quorvel-device simulates a device. Neither needs a display.")
# /etc/ufw/applications.d/quorvel is the administrator's to change.
file(WRITE ${CMAKE_BINARY_DIR}/cpack/cli/conffiles "/etc/ufw/applications.d/quorvel\n")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/cpack/cli/conffiles)
# The launcher's own library is in the package, not on the system.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
include(CPack)
