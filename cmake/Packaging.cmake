# The Debian package: `cpack -G DEB` in a build folder (./pelko.sh package)
# gives pelko_<version>_<arch>.deb holding what `cmake --install` installs
# under /usr; its dependencies come from the shared libraries it links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelko)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelko developers")
set(CPACK_PACKAGE_CONTACT "${PELKO_MAINTAINER}") # data/CMakeLists.txt
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "skinned desktop checker for POP3 mailboxes")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at the first sound and the first keyring use, so not among the
# libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcanberra0, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dovecot-pop3d")
# The long description (CPack puts the summary line before it).
set(CPACK_PACKAGE_DESCRIPTION "Pelko sits on the desktop as a borderless window cut to the shape of its
skin. It checks your POP3 mailboxes in turn (plain, TLS or STLS), shows
the number of waiting messages and plays a sound or shows a notification
when more mail arrives. A message window reads, answers, deletes and saves
the attachments of the waiting messages. The command pelko-check does the
same check from a terminal or a script.")
# Only the program's own files: no test or tool binaries.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
include(CPack)
