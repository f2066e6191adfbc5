# SPDX-License-Identifier: MIT
# Read by cpack for a package built for another CPU: its dependencies, as dpkg-shlibdeps finds
# them in the cross compiler's C library. That library's shlibs file names the package qualified
# by the CPU ("libc6:arm64"), which a package of that same CPU names plainly.
file(MAKE_DIRECTORY ${CPACK_DATLIFT_WORK}/debian)
file(TOUCH ${CPACK_DATLIFT_WORK}/debian/control)
set(datlift_programs)
foreach(program ${CPACK_DATLIFT_PROGRAMS})
  list(APPEND datlift_programs -e${program})
endforeach()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${CPACK_DATLIFT_ARCH}
          dpkg-shlibdeps -O -l/usr/${CPACK_DATLIFT_TRIPLET}/lib ${datlift_programs}
  WORKING_DIRECTORY ${CPACK_DATLIFT_WORK}
  OUTPUT_VARIABLE datlift_found ERROR_VARIABLE datlift_errors RESULT_VARIABLE datlift_failed)
if(datlift_failed OR NOT datlift_found MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "dpkg-shlibdeps: ${datlift_found}${datlift_errors}")
endif()
string(REPLACE ":${CPACK_DATLIFT_ARCH}" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
