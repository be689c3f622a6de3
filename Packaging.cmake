# `make package`: a Debian package of the program, the command-line tool and the
# desktop files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelindra)
set(CPACK_PACKAGE_VENDOR "Pelindra developers")
set(CPACK_PACKAGE_CONTACT "Pelindra developers <team@pelindra.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guide offsets and track files for photographing comets")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelindra computes how far a guided camera's guide point must move at every guide\n"
    "interval to follow a comet or asteroid, and writes track files that camera-control\n"
    "software reads while it guides. Includes the command-line tool pelindra-track.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# cfitsio is loaded when a frame is read rather than linked, so the dependency the linked
# libraries give does not name it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ${PELINDRA_CFITSIO_PACKAGE}")
# The plate solver and its index files, for calibrating from a guide frame: everything else
# works without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "astrometry.net, astrometry-data-tycho2-10-19, astrometry-data-tycho2-09")
set(CPACK_STRIP_FILES ON)
include(CPack)
