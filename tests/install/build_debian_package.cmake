# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package the way a distribution would: dpkg-buildpackage in a clean copy of the
# source, so nothing of a developer's build folders gets in.
file(REMOVE_RECURSE ${WORK_DIR})
set(tree ${WORK_DIR}/vantora-${VERSION})
file(COPY ${SOURCE_DIR}/ DESTINATION ${tree}
     REGEX "^${SOURCE_DIR}/(build[^/]*|obj-[^/]*|\\.git)$" EXCLUDE)
execute_process(COMMAND ${DPKG_BUILDPACKAGE} -us -uc -b -jauto WORKING_DIRECTORY ${tree}
                RESULT_VARIABLE result OUTPUT_FILE ${WORK_DIR}/build.log ERROR_FILE ${WORK_DIR}/build.log)
if(NOT result EQUAL 0)
  file(READ ${WORK_DIR}/build.log log)
  message(FATAL_ERROR "dpkg-buildpackage failed (${result}):\n${log}")
endif()
file(GLOB debs ${WORK_DIR}/vantora_${VERSION}-*_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one vantora_${VERSION}-*.deb in ${WORK_DIR}, found: ${debs}")
endif()
file(SIZE ${debs} size)
message(STATUS "built ${debs} (${size} bytes)")
