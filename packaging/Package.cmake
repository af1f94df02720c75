# The Debian package: `cmake --build <build> --target package` writes
# <build>/quorvel_<version>_<arch>.deb from the install rules, installed under /usr.

set(QUORVEL_MAINTAINER "The Quorvel developers <developers@quorvel.example>" CACHE STRING
    "Maintainer of the Debian package, as \"Name <address>\"")

# What a Debian package has besides the programs: its copyright, and its changelog (the
# package is native, its version has no Debian revision: changelog.gz), compressed as man pages.
set(QUORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${QUORVEL_DOC_DIR})
set(quorvel_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${quorvel_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${QUORVEL_GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${quorvel_changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(quorvel_changelog ALL DEPENDS ${quorvel_changelog})
install(FILES ${quorvel_changelog} DESTINATION ${QUORVEL_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert animated GIF, WebP and APNG images into SWF movies")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/description)
# Installed as the package lays it out, so that the install rules see the prefix /usr (the zsh
# completion's folder depends on it).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVEL_MAINTAINER}")
if(DEFINED QUORVEL_WEB_URL)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORVEL_WEB_URL}")
endif()
# The libraries the programs link, found by dpkg-shlibdeps; FreeImage is loaded by the
# extraction at run time (dlopen), which dpkg-shlibdeps cannot see, so it is named here, as is
# the dialog's display plugin for Qt.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfreeimage3")
if(TARGET quorvel-gui)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()
# quorvel play and the dialog open the browser and the file manager with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)
