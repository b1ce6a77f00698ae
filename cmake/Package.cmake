# The Debian package (cpack -G DEB, or the build's package target): what `cmake --install` puts in
# place, under /usr, named kelmor_<version>_<architecture>.deb after the project's version.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelmor)
set(CPACK_PACKAGE_VENDOR Kelmor)
set(CPACK_PACKAGE_CONTACT "Kelmor developers <kelmor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bench tool for commissioning and tuning DC servo drives")
set(CPACK_PACKAGE_DESCRIPTION [[
Kelmor talks to a DC servo drive through a USB-to-serial converter: a terminal,
the modem lines, the controller's settings in engineering units, the drive's
register banks, a unit-step test with its plot and figures, manual moves, and
file send and capture. Without a converter it works with a built-in simulated
drive; kelmor-drive-sim serves the same drive on a pseudo-terminal.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs link, and their versions, come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugins at run time, so no linked library names the package that has them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)
include(CPack)
