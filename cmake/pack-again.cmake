# SPDX-License-Identifier: MIT
# Run by cpack after it has made its packages: each made the same bytes from any build of the
# same source (cmake/pack_again.py).
execute_process(COMMAND ${CPACK_DATLIFT_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/pack_again.py
                        ${CPACK_PACKAGE_FILES}
                RESULT_VARIABLE datlift_failed)
if(datlift_failed)
  message(FATAL_ERROR "cannot make ${CPACK_PACKAGE_FILES} the same from every build")
endif()
