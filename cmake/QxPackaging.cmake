# Release packages of the programs component (cmake/QxInstall.cmake), made
# by `cmake --build --preset release --target package` (a Debian package)
# and `cmake --build --preset windows --target package` (a zip). Both land
# in build/<preset>/packages/.
set(CPACK_PACKAGE_NAME qxarc)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the qxarc project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tools for .agg resource archives")
set(CPACK_PACKAGE_DESCRIPTION
  "Fennbind and Morrbind pack a folder into an .agg archive (long or short
entries), Fennloose and Morrloose unpack one, and qxarc lists, checks,
extracts, packs in a chosen order, updates and deletes entries of archives
of either layout. 8-bit BMP images are stored as raw
palette-index records and turned back into BMP files through the palette
templates installed beside the programs.")
set(CPACK_PACKAGE_CONTACT "the qxarc project; see README.md")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# Only the programs component goes into the packages; the library and its
# headers are installed from source.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};programs;/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qxarc-${PROJECT_VERSION}-windows-x86_64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the qxarc project (no e-mail address; see /usr/share/doc/qxarc/README.md)")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends from the libraries the programs link, as dpkg-shlibdeps finds
  # them (libc6, libstdc++6, libgcc-s1). Without dpkg-shlibdeps (package
  # dpkg-dev) CPack would write no Depends at all; the versions Debian 12's
  # toolchain needs are given instead.
  find_program(QX_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    message(STATUS "dpkg-shlibdeps not found: the Debian package names fixed Depends "
                   "(scripts/install-deps.sh package installs it)")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
  endif()
endif()

include(CPack)
