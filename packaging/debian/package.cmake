# The Debian package, made by `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr. It holds what `cmake --install` installs plus the Debian
# changelog; dpkg-shlibdeps works out the libraries it needs, the two tools are named here.

set(PIVOTTA_PACKAGE_MAINTAINER "Tavlund <pivotta@example.org>" CACHE STRING
    "The Debian package's Maintainer field: name <e-mail address>")

set(CPACK_PACKAGE_NAME pivotta)
set(CPACK_PACKAGE_VENDOR Tavlund)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "turn JPEG photos the right way up without re-encoding them")
set(CPACK_STRIP_FILES ON)
# Install with DESTDIR into the staging folder, so that the install rules see the real prefix
# and write it into the desktop and file-manager entries.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")

# The Debian changelog is installed by the package alone, in the same package as the rest.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PIVOTTA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SVG icons are drawn by Qt's SVG plugins, which the program does not link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjpeg-turbo-progs, exiv2, libqt6svg6")
# The long description; CPack puts the summary above it and indents it for the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Cameras and phones often store a photo lying on its side and only note in
the photo's EXIF data which way is up. Pivotta reads that note, turns the
picture itself losslessly with jpegtran (the compressed image data is
rearranged, not recompressed) and has exiv2 set the note back to upright,
so the photo looks right in every program.

It rotates every photo in a folder and its subfolders, watches a folder
and rotates photos as they are copied into it, previews a single photo as
stored and as it will look, and starts from the context menu of Dolphin
and Nemo (and of Nautilus and Thunar after one command per user). A photo
is only ever replaced by a complete, successfully rotated copy.]])
if(PIVOTTA_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PIVOTTA_HOMEPAGE}")
endif()
# Without dpkg-shlibdeps CPack would quietly leave the libraries out of Depends.
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/check-tools.cmake")

set(CPACK_GENERATOR DEB)
include(CPack)
