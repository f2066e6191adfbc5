# SPDX-License-Identifier: MIT
# Read by cpack before it packs. Every time in a package is SOURCE_DATE_EPOCH: as cpack was
# given it, or else the time of the source's last commit, so that two packs of one commit are
# the same bytes.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${CPACK_DATLIFT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE datlift_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
    RESULT_VARIABLE datlift_failed)
  if(NOT datlift_failed AND datlift_epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${datlift_epoch})
  else()
    message(WARNING "No SOURCE_DATE_EPOCH, and no commit to take it from: the package's times "
                    "are this moment's")
  endif()
endif()
# A package for another CPU: its dependencies as that CPU's C library states them.
if(CPACK_DATLIFT_TRIPLET AND CPACK_GENERATOR STREQUAL "DEB")
  include(${CMAKE_CURRENT_LIST_DIR}/cross-depends.cmake)
endif()
