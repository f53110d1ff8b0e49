# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package (scripts/package.sh runs cpack): the program's folder
# becomes /usr/lib/kestrel (launcher, x64/ or x86/), the component "system"
# (packaging/) adds the files in the system's own folders. Included last, so
# that every install rule of the tree is known.
add_subdirectory(packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr/lib/kestrel)
set(CPACK_PACKAGE_CONTACT "${KESTREL_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The i386 build (cmake/i386-linux-gnu.cmake) makes the i386 package; the
# machine's own architecture would name it amd64.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tool for Windows imaging files (WIM, SWM, ESD)")
# CPack puts the summary first and this text, indented, after it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kestrel mounts images of WIM files, split sets and LZMS-compressed ESD
files into empty folders (read-only or read-write), applies, captures,
appends, exports, splits, merges and converts them, and edits their
metadata, in a desktop window or unattended from the command line.")
# Libraries from the binaries; FUSE for mounting, a font for the Chinese
# interface texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${KESTREL_OUT_DIR})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fuse, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Every component in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
include(CPack)
