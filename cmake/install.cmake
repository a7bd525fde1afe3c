# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install`, the Debian package and CPack put on a Linux desktop: the two programs
# and the player's modules, the launcher entry, the AppStream metainfo, the program icon at each
# size and scalable, and the two manual pages.
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(VANTORA_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/desktop)
set(vantora_metainfo ${VANTORA_DESKTOP_DIR}/org.vantora.Vantora.metainfo.xml)

# The icon theme wants PNGs: the images of the shipped Cd.ico, and the same disc drawn larger for
# software centres, beside a scalable picture of it.
set(VANTORA_ICON_SIZES 16 24 32 48 64 128 256)
set(hicolor_dir ${PROJECT_BINARY_DIR}/hicolor)
set(hicolor_files ${hicolor_dir}/scalable/apps/vantora.svg)
foreach(size IN LISTS VANTORA_ICON_SIZES)
  list(APPEND hicolor_files ${hicolor_dir}/${size}x${size}/apps/vantora.png)
endforeach()
add_custom_command(OUTPUT ${hicolor_files}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/make_art.py
          --out ${PROJECT_SOURCE_DIR}/resources --hicolor ${hicolor_dir}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_art.py ${PROJECT_SOURCE_DIR}/resources/Cd.ico
  COMMENT "Writing the program icon for the icon theme"
  VERBATIM)
add_custom_target(vantora_hicolor ALL DEPENDS ${hicolor_files})

# One component, so an install or a package never picks up anything another part adds.
install(TARGETS vantora vantora-drive RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT vantora)
# The modules the player loads on first use, where it looks for them: lib/vantora beside bin.
install(TARGETS vantora-sound vantora-lookup LIBRARY DESTINATION lib/vantora COMPONENT vantora)
install(FILES ${VANTORA_DESKTOP_DIR}/vantora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT vantora)
install(FILES ${vantora_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT vantora)
foreach(size IN LISTS VANTORA_ICON_SIZES)
  install(FILES ${hicolor_dir}/${size}x${size}/apps/vantora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT vantora)
endforeach()
install(FILES ${hicolor_dir}/scalable/apps/vantora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT vantora)
install(FILES ${VANTORA_DESKTOP_DIR}/vantora.1 ${VANTORA_DESKTOP_DIR}/vantora-drive.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT vantora)

set(CPACK_PACKAGE_NAME vantora)
set(CPACK_PACKAGE_VENDOR "Vantora Developers")
set(CPACK_PACKAGE_CONTACT "Vantora Developers <maintainers@vantora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};vantora;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vantora.org)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/COPYING)
# dpkg-shlibdeps names the Qt and C++ runtime packages the programs and modules were linked
# against; the libraries the player loads itself on first use are named from the packages that
# hold them here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_program(DPKG_QUERY dpkg-query)
get_property(loaded_libraries GLOBAL PROPERTY VANTORA_LOADED_LIBRARIES)
set(loaded_packages)
foreach(library IN LISTS loaded_libraries)
  if(DPKG_QUERY)
    file(REAL_PATH ${library} library)
    execute_process(COMMAND ${DPKG_QUERY} -S ${library} OUTPUT_VARIABLE owner ERROR_QUIET)
    if(owner MATCHES "^([^:,]+)")
      list(APPEND loaded_packages ${CMAKE_MATCH_1})
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES loaded_packages)
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${loaded_packages}")
include(CPack)

# A package build has no test tools.
if(NOT VANTORA_TESTS)
  return()
endif()

# Checks of what is installed; the folder name is the label, as for the other suites.
set(install_tests ${PROJECT_SOURCE_DIR}/tests/install)
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
find_program(APPSTREAMCLI appstreamcli REQUIRED)
find_program(GROFF groff REQUIRED)
add_test(NAME install.desktop_entry_valid
         COMMAND ${DESKTOP_FILE_VALIDATE} ${VANTORA_DESKTOP_DIR}/vantora.desktop)
add_test(NAME install.metainfo_valid COMMAND ${APPSTREAMCLI} validate --no-net ${vantora_metainfo})
add_test(NAME install.manual_page_renders
         COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF} -DPAGE=${VANTORA_DESKTOP_DIR}/vantora.1
                 -P ${install_tests}/check_manual.cmake)
add_test(NAME install.tree
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DWORK_DIR=${PROJECT_BINARY_DIR}/install-test -DVERSION=${PROJECT_VERSION}
                 "-DICON_SIZES=${VANTORA_ICON_SIZES}" -P ${install_tests}/check_install.cmake)
add_test(NAME install.deb_package
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DWORK_DIR=${PROJECT_BINARY_DIR}/package-test -P ${install_tests}/check_deb.cmake)
add_test(NAME install.drive_manual_page_renders
         COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF} -DPAGE=${VANTORA_DESKTOP_DIR}/vantora-drive.1
                 -P ${install_tests}/check_manual.cmake)
add_test(NAME install.appstream_compose
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DAPPSTREAMCLI=${APPSTREAMCLI}
                 -DWORK_DIR=${PROJECT_BINARY_DIR}/compose-test -P ${install_tests}/check_compose.cmake)
set_tests_properties(install.desktop_entry_valid install.metainfo_valid install.manual_page_renders
                     install.drive_manual_page_renders install.tree install.deb_package
                     install.appstream_compose PROPERTIES LABELS install TIMEOUT 120)

# The Debian package, built from a clean copy of the source as a distribution would, then checked
# by lintian and started from an unpacked tree. It does not depend on this build's settings, so
# the sanitizer build leaves it to the plain one.
if(NOT VANTORA_SANITIZE)
  find_program(DPKG_BUILDPACKAGE dpkg-buildpackage)
  find_program(LINTIAN lintian)
  find_program(HARDENING_CHECK hardening-check)
  set(debian_dir ${PROJECT_BINARY_DIR}/debian-package)
  if(DPKG_BUILDPACKAGE AND LINTIAN)
    add_test(NAME install.debian_package
             COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DWORK_DIR=${debian_dir}
                     -DVERSION=${PROJECT_VERSION} -DDPKG_BUILDPACKAGE=${DPKG_BUILDPACKAGE}
                     -P ${install_tests}/build_debian_package.cmake)
    add_test(NAME install.debian_package_lintian
             COMMAND ${CMAKE_COMMAND} -DWORK_DIR=${debian_dir} -DLINTIAN=${LINTIAN}
                     -P ${install_tests}/check_lintian.cmake)
    add_test(NAME install.debian_package_runs
             COMMAND ${CMAKE_COMMAND} -DWORK_DIR=${debian_dir} -DVERSION=${PROJECT_VERSION}
                     -DHARDENING_CHECK=${HARDENING_CHECK} -P ${install_tests}/check_package_runs.cmake)
    set_tests_properties(install.debian_package PROPERTIES FIXTURES_SETUP debian_package
                         TIMEOUT 1500)
    set_tests_properties(install.debian_package_lintian install.debian_package_runs PROPERTIES
                         FIXTURES_REQUIRED debian_package TIMEOUT 300)
    set_tests_properties(install.debian_package install.debian_package_lintian
                         install.debian_package_runs PROPERTIES LABELS install)
  else()
    add_test(NAME install.debian_package
             COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: dpkg-buildpackage or lintian is missing")
    set_tests_properties(install.debian_package PROPERTIES LABELS install
                         SKIP_REGULAR_EXPRESSION "SKIPPED:")
  endif()
endif()
