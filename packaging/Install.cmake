# Installing the program like a Linux desktop program (`make install`, `make package`): the
# binary, its menu entry and icon, the device rules, the manual page and the documents, and the
# Debian package CPack builds from the same rules. Only the window's build installs anything.
if(NOT HALVERN_GUI)
  return()
endif()

include(GNUInstallDirs)
set(_pkg ${CMAKE_CURRENT_LIST_DIR})
set(HALVERN_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/halvern)

# The icon: one drawing (the window's own icon) written as SVG and PNG into a hicolor tree.
add_executable(halvern_make_icon ${_pkg}/icon/make_icon.cpp)
target_link_libraries(halvern_make_icon PRIVATE halvern_ui)
set(_icons ${CMAKE_BINARY_DIR}/icons/hicolor)
set(_icon_files ${_icons}/scalable/apps/halvern.svg ${_icons}/64x64/apps/halvern.png
                ${_icons}/256x256/apps/halvern.png)
add_custom_command(
  OUTPUT ${_icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:halvern_make_icon> ${_icons}
  DEPENDS halvern_make_icon
  COMMENT "Drawing the program's icon")

# The manual page, compressed as Debian keeps them.
find_program(HALVERN_GZIP gzip REQUIRED)
set(_man ${CMAKE_BINARY_DIR}/man/halvern.1.gz)
add_custom_command(
  OUTPUT ${_man}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${HALVERN_GZIP} -9nc ${_pkg}/man/halvern.1 > ${_man}
  DEPENDS ${_pkg}/man/halvern.1
  COMMENT "Compressing the manual page")
add_custom_target(halvern_install_files ALL DEPENDS ${_icon_files} ${_man})

install(TARGETS halvern RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_pkg}/halvern.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(DIRECTORY ${_icons} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
install(FILES ${_pkg}/udev/70-halvern.rules DESTINATION lib/udev/rules.d)
install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The unattended logger: a service template, not enabled, the script it starts, and an example
# of its settings.
install(FILES ${_pkg}/systemd/halvern-log@.service DESTINATION lib/systemd/system)
install(PROGRAMS ${_pkg}/systemd/halvern-log-service DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/halvern)
install(FILES ${_pkg}/systemd/halvern-log.conf DESTINATION ${HALVERN_DOC_DIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${_pkg}/copyright
        DESTINATION ${HALVERN_DOC_DIR})

# The Debian package: `make package`, or `cmake --build build --target package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvern)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Halvern Interface Program developers")
set(HALVERN_MAINTAINER "Halvern Interface Program maintainers <maintainers@users.noreply.c-seed-bcb58039.example>"
    CACHE STRING "The Debian package's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HALVERN_MAINTAINER}")
if(HALVERN_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${HALVERN_HOMEPAGE}")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interface program for a 4000-count handheld multimeter")
# The long description as dpkg shows it: lines under 80 columns, paragraphs apart.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "The PC program of a 4000-count handheld digital multimeter. The meter streams"
       "the content of its LCD as short fixed frames over a serial line, a USB bridge"
       "or a USB HID cable; the program decodes every frame and shows it as a replica"
       "of the meter's LCD, an analog needle scale, a paged trend chart and a growing"
       "table of readings."
       ""
       "The table is saved and loaded as tab-separated text or as an XML data packet,"
       "printed as an A4 report, and the chart is saved as a bitmap. Subcommands"
       "decode captures, convert data files, log a meter without a window and"
       "simulate a meter for trying the program out. Device rules let the user at the"
       "seat open the HID cable and the USB bridge without sudo."
       ""
       "halvern log publishes the readings to an MQTT broker and answers SCPI over"
       "TCP; the service template halvern-log@.service logs a meter unattended.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps; the platform plugin is loaded at run time, and the
# window maps its font names to Liberation Sans, then DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2 | fonts-liberation, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/deb/postinst ${_pkg}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

if(HALVERN_TESTS)
  # Both install the same build's files, so they take turns.
  add_test(NAME packaging.install_tree
           COMMAND bash ${_pkg}/tests/check_install_tree.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
  add_test(NAME packaging.deb
           COMMAND bash ${_pkg}/tests/check_deb.sh ${CMAKE_BINARY_DIR} ${CMAKE_CPACK_COMMAND})
  set_tests_properties(packaging.install_tree packaging.deb PROPERTIES
                       RESOURCE_LOCK halvern_install)
endif()
