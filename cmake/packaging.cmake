# SPDX-License-Identifier: MIT
# Installation and the Debian package: the program, its manual page, the copyright and the
# changelog, laid out as Debian policy asks (compressed documentation, a stripped program).
include(GNUInstallDirs)

set(DATLIFT_MAINTAINER "datlift developers <datlift-dev@lists.example.org>" CACHE STRING
  "The maintainer named in the package and its changelog: packagers set their own")
# The page in the browser, shipped where it has been built (scripts/build-web).
set(DATLIFT_PAGE ${CMAKE_SOURCE_DIR}/build-web/datlift.html CACHE FILEPATH
  "The page in the browser, installed where this file exists")

# The packages' folders get the modes Debian's have, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Read by cpack: the time of everything in a package (cmake/cpack-project.cmake). CPack lists a
# zip's members as the file system lists them, with their times and owners, and gives a Debian
# package's members the modes of the build's umask: each package is made the same bytes from
# every build after cpack has written it (cmake/pack-again.cmake).
set(CPACK_DATLIFT_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack-project.cmake)
find_program(DATLIFT_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(DATLIFT_PYTHON python3)
set(CPACK_DATLIFT_PYTHON ${DATLIFT_PYTHON})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/pack-again.cmake)

if(WIN32)
  # A zip for Windows users: the program, the README and the licence as text, the manual as a
  # web page.
  install(TARGETS datlift datlift-inspect RUNTIME DESTINATION .)
  foreach(program datlift.exe datlift-inspect.exe)
    install(CODE "
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}\")")
  endforeach()
  foreach(page datlift datlift-inspect)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${page}.html
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
      COMMAND mandoc -T html ${CMAKE_SOURCE_DIR}/doc/${page}.1 > ${CMAKE_BINARY_DIR}/doc/${page}.html
      DEPENDS ${CMAKE_SOURCE_DIR}/doc/${page}.1 VERBATIM)
    install(FILES ${CMAKE_BINARY_DIR}/doc/${page}.html DESTINATION .)
  endforeach()
  add_custom_target(datlift_docs ALL
    DEPENDS ${CMAKE_BINARY_DIR}/doc/datlift.html ${CMAKE_BINARY_DIR}/doc/datlift-inspect.html)
  install(FILES README.md DESTINATION . RENAME README.txt)
  # Beside the manual pages, whose own datlift.html it must not take the place of.
  install(FILES ${DATLIFT_PAGE} DESTINATION . RENAME datlift-page.html OPTIONAL)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME datlift)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME datlift-${PROJECT_VERSION}-win64)
  include(CPack)
  return()
endif()

install(TARGETS datlift datlift-inspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DATLIFT_INSTALL_STRIP)
  # Symbols, debug information and the compilers' identification strings are of no use to the
  # programs' users; the programs in the build tree keep them.
  foreach(name datlift datlift-inspect)
    install(CODE "
      set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\")
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all --remove-section=.comment
                              \"\${program}\" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR \"cannot strip \${program}\")
      endif()")
  endforeach()
endif()

# Compressed as Debian wants them: at the highest level, without name or time stamp.
function(datlift_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
configure_file(doc/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
datlift_gzip(${CMAKE_SOURCE_DIR}/doc/datlift.1 ${CMAKE_BINARY_DIR}/doc/datlift.1.gz)
datlift_gzip(${CMAKE_SOURCE_DIR}/doc/datlift-inspect.1 ${CMAKE_BINARY_DIR}/doc/datlift-inspect.1.gz)
datlift_gzip(${CMAKE_BINARY_DIR}/doc/changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_target(datlift_docs ALL
  DEPENDS ${CMAKE_BINARY_DIR}/doc/datlift.1.gz ${CMAKE_BINARY_DIR}/doc/datlift-inspect.1.gz
          ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/datlift.1.gz ${CMAKE_BINARY_DIR}/doc/datlift-inspect.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${DATLIFT_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/datlift OPTIONAL)

set(CPACK_PACKAGE_NAME datlift)
set(CPACK_PACKAGE_VENDOR "datlift developers")
set(CPACK_PACKAGE_CONTACT ${DATLIFT_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DATLIFT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "upgrade the parameter file SYSTEM.DAT of motion controllers
datlift converts the packed system parameter file SYSTEM.DAT of a motion
controller from an older layout version (V1.71, V2.00, V2.10) to a newer
one, up to V2.50, in place. It can give the file another model code of the
same model family and set the names of its axes, and for two models it also
writes MCFG.DAT, a block of default settings. datlift-inspect shows what a
file holds and what datlift would do to it, without writing anything.
.
Every check is made before anything is written, and the new files replace
the old ones only when both are complete, so an interrupted run leaves the
files as they were or fully converted. The outcome of a run is told by fixed
messages and exit codes that scripts can rely on.")
if(DATLIFT_ARCH)
  # Cross-built (cmake/linux-cross.cmake): the package is for that CPU.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${DATLIFT_ARCH})
endif()
if(DATLIFT_LINK STREQUAL "dynamic" AND NOT CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(DATLIFT_LINK STREQUAL "dynamic")
  # Read by cpack: the dependencies of the programs built for another CPU.
  set(CPACK_DATLIFT_ARCH ${DATLIFT_ARCH})
  set(CPACK_DATLIFT_TRIPLET ${DATLIFT_TRIPLET})
  set(CPACK_DATLIFT_PROGRAMS ${CMAKE_BINARY_DIR}/datlift ${CMAKE_BINARY_DIR}/datlift-inspect)
  set(CPACK_DATLIFT_WORK ${CMAKE_BINARY_DIR}/cross-depends)
endif()
include(CPack)
