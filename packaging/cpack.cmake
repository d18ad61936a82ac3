# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <developers@velmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map a directory tree into an HTML report")
set(CPACK_PACKAGE_DESCRIPTION "Velmora counts every folder and file below a root directory and writes
one HTML report holding the two counts and the tree as a nested list,
which it can open in the browser. velmora-map does the same from the
command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries the programs link come from dpkg-shlibdeps; what they start at
# run time is named here: the desktop's opener for reports.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")

include(CPack)
