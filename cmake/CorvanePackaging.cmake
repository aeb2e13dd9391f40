# The Debian package: `cpack -G DEB` in a configured tree (preset release;
# scripts/package.sh) makes corvane_<version>_<arch>.deb from the install
# rules: corvane, corvane-cli and corvane-demo-web, the desktop entry and the
# icon, under /usr. The shared libraries the programs load (Qt 6, libjpeg,
# the C++ runtime) become its dependencies through dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vestrel Software")
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <support@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "survey of the sites that lead a web search and how well linked each is")
# The extended description, in lines of Debian's width; CPack indents them.
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane shows web-site owners which sites lead a web search and how well
linked each one is: for a keyword, phrase or target domain it walks the
search service's result list and fills one row per site with its rank, the
pages linking to it, the absolute anchors on its home page, a derived link
value and its traffic rank.

The package holds the desktop program (corvane), the headless front end
(corvane-cli) and a synthetic demo web served on loopback (corvane-demo-web).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.com/corvane/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window layouts are drawn for these font metrics; the browser is opened
# through the desktop's URL handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, xdg-utils")

include(CPack)
