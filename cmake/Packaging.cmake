# cpack -G DEB in the build folder makes m84dpt_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME m84dpt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "M84 DPT developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programmer for M84 POCSAG pagers")
# Debian's control file shows each line as it stands: kept below 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "M84 DPT edits every setting of the M84 multi-lingual alphanumeric POCSAG
pager on a window of settings pages, reads a pager and writes it through the
USB serial programming adapter (every write is verified by reading it back),
keeps settings in data files and prints a settings report. A command line
does the same for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "M84 DPT developers <maintainers@m84dpt.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://m84dpt.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugins at run time, which dpkg-shlibdeps cannot see: without them the
# window does not open. The same holds for the SQL driver of the programming history.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
# The report's monospaced face; the driver of a history shared on a PostgreSQL server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
include(CPack)
