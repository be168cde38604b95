# The Debian package: `cpack` in a build folder writes ocelis_<version>_<arch>.deb.
# package.sh builds it from a release build configured for /usr and checks it.

# The package's own changelog names the version it ships; a new version needs a new entry.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/data/package/changelog ocelis_changelog_top LIMIT_COUNT 1)
if(NOT ocelis_changelog_top MATCHES "^ocelis \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "data/package/changelog does not start with an entry for ${PROJECT_VERSION}")
endif()

set(OCELIS_PACKAGE_MAINTAINER "Ocelis maintainers <maintainers@users.noreply.c-seed-ffe4368b.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ocelis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ocelis developers")
set(CPACK_PACKAGE_CONTACT ${OCELIS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "webcam viewer in the system tray")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OCELIS_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Public webcams publish a JPEG picture at a fixed address and replace it
every few seconds. Ocelis keeps a catalogue of them in nested categories
and opens small borderless viewers that poll and show their pictures.
.
It beeps at and archives new pictures, shows every webcam at once in a
mosaic, lets you browse them in a chooser, edit the catalogue, import .cam
files and turn archived pictures into an AVI or MP4 timelapse. Every window is
translated from XML language files.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its X11 platform plug-in at run time; no library link names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Qt's own buttons and dialogs in the language a language file names.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
