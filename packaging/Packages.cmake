# The Debian packages, made by CPack from the install components of
# packaging/CMakeLists.txt:
#
#   fas09600-server   the application server and its tools; no GUI library
#   fas09600-desktop  the desktop host and the module
#   fas09600-common   the private libraries both load (QtCore and QtSql only),
#                     and the documents
#
# The server and the desktop need the common package of the very same build
# (the libraries have no stable interface), so each depends on its exact version.

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL common server desktop)
set(CPACK_PACKAGE_NAME fas09600)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe do faturamento <faturamento@example.com>")
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${FAS_PACKAGE_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${FAS_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://faturamento.example.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the private libraries of another package in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(fas_same_common "fas09600-common (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME fas09600-common)
set(CPACK_DEBIAN_COMMON_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_COMMON_DESCRIPTION "billing preview (NF/INVOICE): shared libraries and documents
The private libraries that both the application server and the desktop host
of the billing preview load: the client dataset and its data packet, the
database connection and the billing item's layout. They use QtCore and QtSql
only. The package also holds the system's documents.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME fas09600-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# What dpkg-shlibdeps cannot see: the SQLite driver Qt loads at run time, and
# adduser for postinst.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "${fas_same_common}, adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "postgresql, nginx, sqlite3")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${FAS_DEBIAN_SERVER_CONTROL_EXTRA})
set(CPACK_DEBIAN_SERVER_DESCRIPTION "billing preview (NF/INVOICE): application server
fas-appserver answers GetFaturamento, GeraNF and GeraInvoice as JSON-RPC 2.0
over HTTP on a SQLite or PostgreSQL billing database. It runs as the systemd
service fas-appserver, which the administrator enables. The package also
holds fas-demo-data, which creates the tables and demo data, the
administration tool and an example configuration for nginx in front of
several servers.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME fas09600-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION misc)
# The SQLite driver and the platform plugins are loaded by Qt at run time, and so
# are Qt's Portuguese texts for its own dialogs and buttons.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "${fas_same_common}, libqt6sql6-sqlite, qt6-qpa-plugins, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "billing preview (NF/INVOICE): desktop host and module
fas-host is the desktop host of the billing preview: it loads the module
libPkg_fas09600.so, whose screens list the calculations to bill and generate
fiscal-note and invoice entries through the application server.")

include(CPack)
