# `cpack -G DEB` in a build folder makes harbel_VERSION_ARCH.deb of everything installed.
set(CPACK_PACKAGE_NAME harbel)
set(CPACK_PACKAGE_VENDOR "Harbel")
set(CPACK_PACKAGE_CONTACT "Harbel developers <harbel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download manager and two-pane FTP client")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pellanor downloads files over HTTP and FTP, resumes them where they stopped, fetches large\n"
  "files over parallel connections and keeps a scheduled queue. It also downloads from the\n"
  "command line without a display. Tessaly is a two-pane FTP client.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://harbel.org/")
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at run time does not:
# the window system plugins, the SVG icon engine our icons need, and OpenSSL with the system's
# authorities for QSslSocket.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libssl3, ca-certificates")
# QtKeychain opens libsecret at run time to reach the desktop's keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, bash-completion, libsecret-1-0")
include(CPack)
