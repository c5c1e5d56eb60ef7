# Debian packages made by CPack (scripts/package): the program with its data, the controller
# library, and the library's development files, as Debian splits a library.
#   qelcut                the programs, the label font, translations, menu entry, icons,
#                         metainfo, manual pages and the user service
#   libqelcontroller1     libqelcontroller.so.1
#   libqelcontroller-dev  the C header, the .so link, the pkg-config file and an example
# Dependencies come from dpkg-shlibdeps; the version is the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelcut)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QEL Cutting System developers")
set(CPACK_PACKAGE_CONTACT "${QEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL qelcut libqelcontroller libqelcontroller-dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")

set(CPACK_DEBIAN_QELCUT_PACKAGE_NAME qelcut)
set(CPACK_DEBIAN_QELCUT_PACKAGE_SECTION graphics)
if(TARGET qelcut-gui)
  # The windows need a Qt platform plugin (only recommended by Qt's own packages) and show
  # Chinese texts in a CJK font; the libraries come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_QELCUT_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Qt's own texts (OK, Cancel, Yes, No of every box) in Chinese.
  set(CPACK_DEBIAN_QELCUT_PACKAGE_RECOMMENDS "fonts-wqy-microhei, qt6-translations-l10n")
endif()
set(CPACK_COMPONENT_QELCUT_DESCRIPTION
  "driver for plotter-style cutting machines\nA design program saves HPGL plot files into a watched folder; the QEL Cutting\nSystem picks each file up, joins and orders its strokes, draws label text as\nstrokes, splits long plots into pages of the working area and sends the pages\nto the machine over a parallel port, a serial line, the machine's network\ncontroller or a motion coordinator. A print-and-cut mode corrects the pattern\nto printed registration marks found by a camera on the head.\nThis package holds the qelcut tool, the desktop program, the label font and a\nuser service that runs the send queue unattended.")

set(CPACK_DEBIAN_LIBQELCONTROLLER_PACKAGE_NAME libqelcontroller${QEL_CONTROLLER_SOVERSION})
set(CPACK_DEBIAN_LIBQELCONTROLLER_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The dynamic linker's cache is refreshed by a trigger, as Debian does it for libraries.
file(WRITE "${CMAKE_BINARY_DIR}/packaging/libqelcontroller/triggers" "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBQELCONTROLLER_PACKAGE_CONTROL_EXTRA "${CMAKE_BINARY_DIR}/packaging/libqelcontroller/triggers")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_COMPONENT_LIBQELCONTROLLER_DESCRIPTION
  "QEL Cutting System motion coordinator library\nConnections to the motion coordinator over USB, serial lines, Ethernet and\nPCI; channels and capture; program, project, table and variable transfer;\nsystem software loading. Other programs call it through its C interface.")

set(CPACK_DEBIAN_LIBQELCONTROLLER-DEV_PACKAGE_NAME libqelcontroller-dev)
set(CPACK_DEBIAN_LIBQELCONTROLLER-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_LIBQELCONTROLLER-DEV_DEPENDS libqelcontroller)
set(CPACK_COMPONENT_LIBQELCONTROLLER-DEV_DESCRIPTION
  "QEL Cutting System motion coordinator library - development files\nThe C header qel_controller.h, the pkg-config file qelcontroller.pc and a\nsmall example program, for building programs against libqelcontroller.")

include(CPack)
