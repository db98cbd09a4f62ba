# The Debian packages (`cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr; scripts/package does it all), one per install
# component: `trevasto`, the client with everything a user's machine needs,
# and `trevasto-service`, the local stand-in service, which only test and
# demonstration machines install. Together they hold exactly what the
# install rules install.
#
# No maintainer scripts: the caches that the installed files feed are rebuilt
# by dpkg file triggers of the packages that own those caches -
# shared-mime-info on /usr/share/mime/packages (update-mime-database),
# desktop-file-utils on /usr/share/applications (update-desktop-database),
# hicolor-icon-theme on /usr/share/icons/hicolor (gtk-update-icon-cache) and
# man-db on the manual pages - both when the package is installed and when it
# is removed. Where a package is absent, nothing reads its cache.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trevasto)
set(CPACK_PACKAGE_VENDOR "Trevasto")
set(CPACK_PACKAGE_CONTACT "Trevasto developers <developers@trevasto.example>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY trevasto)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME trevasto)
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME trevasto-service)
# The package installs where the install rules were configured for, so the
# deployment file's folder (/etc for a /usr prefix) and the programs agree.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# 1.0.14-2 is the first revision built as two packages; the next upstream
# version starts again at 1.
set(CPACK_DEBIAN_PACKAGE_RELEASE 2)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's synopsis line, then the text below it.
set(CPACK_DEBIAN_CLIENT_DESCRIPTION
    "download client for the Quorvane document storage service
Trevasto downloads the files that a download key designates from the
Quorvane document storage service into a local folder. The service's web
side writes a key file and opens it with Trevasto, which verifies the key,
lets the user choose a folder, resumes or skips copies already there,
deciphers and unpacks what needs it, and dates each file. A Qt dialog
shows a line per file and a percentage bar; a console front-end does the
same on machines without a display.")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION
    "local stand-in for the Quorvane document service, for testing Trevasto
trevasto-service serves folders of files as download keys on the loopback
interface, answering as the Quorvane document storage service does, with
enciphered and zipped transfers, download limits and scripted faults. It
is for trying Trevasto out and testing it; a user's machine needs only the
trevasto package.")
# The packages before the split (up to 1.0.14-1) held the service's
# program in `trevasto`.
set(CPACK_DEBIAN_SERVICE_PACKAGE_BREAKS "trevasto (<< 1.0.14-2)")
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES "trevasto (<< 1.0.14-2)")
# Library packages from the programs' own links. Qt's GUI library package
# carries the X11 (xcb) platform plugin the dialog opens with, so nothing
# needs naming by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What makes key files open with Trevasto and show its icon on a desktop.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The deployment file is the administrator's to edit: dpkg keeps their
# version on upgrades and removal (until purge).
set(trevasto_conffiles ${PROJECT_BINARY_DIR}/packaging/conffiles)
file(WRITE ${trevasto_conffiles} "${TREVASTO_DEPLOYMENT_DIR}/deployment.conf\n")
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA ${trevasto_conffiles})

include(CPack)
