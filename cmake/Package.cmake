# The package of what `cmake --install` puts in place (cpack, or the build's package target): on
# Debian a .deb under /usr, named kelmor_<version>_<architecture>.deb after the project's version; on
# Windows a ZIP, and an installer where NSIS is installed.
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
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  find_program(KELMOR_MAKENSIS makensis)
  if(KELMOR_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
  endif()
  set(CPACK_PACKAGE_FILE_NAME kelmor-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Kelmor)
  # The installer's Start menu entry.
  set(CPACK_PACKAGE_EXECUTABLES kelmor Kelmor)
  set(CPACK_NSIS_DISPLAY_NAME Kelmor)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # The libraries the programs link, and their versions, come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Qt loads its platform plugins at run time, so no linked library names the package that has them.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
include(CPack)
