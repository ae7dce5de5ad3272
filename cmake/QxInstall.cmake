# What `cmake --install` puts where, in two components:
#
#   programs     the five programs with both palette templates in one
#                folder, and on Linux the commands in bin/ (links to that
#                folder), the man pages and the README; on Windows the
#                programs, templates and the notes on using them all in
#                the top folder. The Debian package and the Windows zip
#                hold this component.
#   development  the archive library and the support library it needs,
#                their headers under include/qxarc/, and the CMake package
#                (find_package(qxarc CONFIG) gives qxarc::archive).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QX_PROGRAMS Fennbind Morrbind Fennloose Morrloose qxarc)
set(QX_PALETTE_TEMPLATES
  ${CMAKE_SOURCE_DIR}/unpack/palettes/H2Palette.bmp
  ${CMAKE_SOURCE_DIR}/unpack/palettes/H1Palette.bmp)

if(WIN32)
  install(TARGETS ${QX_PROGRAMS} RUNTIME DESTINATION . COMPONENT programs)
  install(FILES ${QX_PALETTE_TEMPLATES} DESTINATION . COMPONENT programs)
  configure_file(${CMAKE_SOURCE_DIR}/docs/windows/README.txt.in ${CMAKE_BINARY_DIR}/install/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/install/README.txt DESTINATION . COMPONENT programs)
else()
  # The programs find their palette templates in the folder of their own
  # file (the system resolves the links in bin/ to it), so programs and
  # templates share one private folder.
  set(QX_PROGRAM_DIR lib/qxarc)
  install(TARGETS ${QX_PROGRAMS} RUNTIME DESTINATION ${QX_PROGRAM_DIR} COMPONENT programs)
  install(FILES ${QX_PALETTE_TEMPLATES} DESTINATION ${QX_PROGRAM_DIR} COMPONENT programs)

  # Relative links, made once in the build tree and installed as links, so
  # the commands work wherever the prefix is moved.
  set(links_dir ${CMAKE_BINARY_DIR}/install/commands)
  file(MAKE_DIRECTORY ${links_dir})
  set(links)
  foreach(program ${QX_PROGRAMS})
    file(CREATE_LINK ../${QX_PROGRAM_DIR}/${program} ${links_dir}/${program} SYMBOLIC)
    list(APPEND links ${links_dir}/${program})
  endforeach()
  install(FILES ${links} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)

  # Man pages, compressed as Debian installs them.
  find_program(QX_GZIP gzip)
  set(man_pages)
  foreach(program ${QX_PROGRAMS})
    set(page ${CMAKE_SOURCE_DIR}/docs/man/${program}.1)
    if(QX_GZIP)
      set(packed ${CMAKE_BINARY_DIR}/install/man/${program}.1.gz)
      add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/install/man
        COMMAND ${QX_GZIP} -9 -n -c ${page} > ${packed}
        DEPENDS ${page}
        COMMENT "Compressing the man page ${program}.1")
      list(APPEND man_pages ${packed})
    else()
      list(APPEND man_pages ${page})
    endif()
  endforeach()
  add_custom_target(qx_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT programs)
endif()

# The archive library as a CMake package. Inside the build tree the targets
# take their headers from the source folders; installed, from include/, so
# that users write #include <qxarc/ArchiveReader.h>.
function(qx_build_tree_includes target)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  set(wrapped)
  foreach(dir IN LISTS dirs)
    if(dir MATCHES "^\\$<")
      list(APPEND wrapped "${dir}")
    else()
      list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
endfunction()

foreach(library qx_archive qx_support)
  qx_build_tree_includes(${library})
  # The headers are C++20, as the libraries are.
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
set_target_properties(qx_archive PROPERTIES EXPORT_NAME archive)
set_target_properties(qx_support PROPERTIES EXPORT_NAME support)
add_library(qxarc::archive ALIAS qx_archive)

set(QX_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qxarc)
install(TARGETS qx_archive qx_support EXPORT qxarcTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/archive/ ${CMAKE_SOURCE_DIR}/support/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qxarc COMPONENT development
  FILES_MATCHING PATTERN "*.h")
install(EXPORT qxarcTargets NAMESPACE qxarc:: DESTINATION ${QX_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/qxarcConfig.cmake.in
  ${CMAKE_BINARY_DIR}/install/qxarcConfig.cmake
  INSTALL_DESTINATION ${QX_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/qxarcConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/qxarcConfig.cmake ${CMAKE_BINARY_DIR}/install/qxarcConfigVersion.cmake
  DESTINATION ${QX_PACKAGE_DIR} COMPONENT development)
