# What we ship: the version header every program prints from, and the Debian package
# (`make package`, or cpack on the release build) with its dependencies found by dpkg-shlibdeps.

# 4.0.0 shows as 4.00.00: minor and patch always have two digits.
set(_quil_minor "0${PROJECT_VERSION_MINOR}")
set(_quil_patch "0${PROJECT_VERSION_PATCH}")
string(REGEX REPLACE "^0(..)" "\\1" _quil_minor "${_quil_minor}")
string(REGEX REPLACE "^0(..)" "\\1" _quil_patch "${_quil_patch}")
set(QUIL_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${_quil_minor}.${_quil_patch}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/quil_version.h.in
               ${PROJECT_BINARY_DIR}/generated/quil_version.h @ONLY)
# Link quil_version to include "quil_version.h".
add_library(quil_version INTERFACE)
target_include_directories(quil_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quillreel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Quillreel")
set(CPACK_PACKAGE_CONTACT "Quillreel developers <developers@quillreel.invalid>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make and play movies for Palm OS handhelds")
set(CPACK_PACKAGE_DESCRIPTION
"Quillreel turns ordinary video and sound files into movie databases (.pdb)
that Palm OS handhelds play with their own movie player.

quillreel-encoder converts videos in a window, quillreel-player plays the
movies on the desktop and the quillreel tool inspects, encodes and exports
them from scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps names the packages of the shared libraries the programs link (Qt, FFmpeg,
# zlib, the C++ runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The MIME, desktop and icon caches are refreshed by the triggers their Debian packages hold
# on these folders, so the package needs no maintainer scripts.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
