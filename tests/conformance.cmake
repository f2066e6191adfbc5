# SPDX-License-Identifier: MIT
# The conformance corpus: every case against the program, run by the emulator of a cross build
# (wine, qemu-user) where there is one.
find_program(DATLIFT_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(DATLIFT_PYTHON python3)
set(datlift_platform)
if(WIN32)
  set(datlift_platform --windows)
endif()
add_test(NAME conformance
  COMMAND ${DATLIFT_PYTHON} ${CMAKE_SOURCE_DIR}/tests/conformance_run.py ${datlift_platform}
          -- ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:datlift>)
set_tests_properties(conformance PROPERTIES TIMEOUT 900)
