# What `cmake --install` puts under the prefix: the two programs (and their window programs in
# libexec/harbel), their launcher entries, icons, AppStream metainfo, manual pages, bash completion
# and the user guide. The files the programs copy into the application folder on first use are
# compiled into them, so nothing else is needed.
include(GNUInstallDirs)

install(TARGETS pellanor tessaly RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The window programs: `pellanor` and `tessaly` hand over to them; nobody starts them by name.
install(TARGETS pellanor-window tessaly-window RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/harbel)

set(harbel_desktop ${CMAKE_SOURCE_DIR}/resources/desktop)
install(FILES
    ${harbel_desktop}/pellanor.desktop
    ${harbel_desktop}/pellanor-url.desktop
    ${harbel_desktop}/tessaly.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES
    ${harbel_desktop}/org.harbel.pellanor.metainfo.xml
    ${harbel_desktop}/org.harbel.tessaly.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES
    ${CMAKE_SOURCE_DIR}/resources/icons/pellanor.svg
    ${CMAKE_SOURCE_DIR}/resources/icons/tessaly.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES
    ${CMAKE_SOURCE_DIR}/doc/man/pellanor.1
    ${CMAKE_SOURCE_DIR}/doc/man/tessaly.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES
    ${CMAKE_SOURCE_DIR}/resources/bash-completion/pellanor
    ${CMAKE_SOURCE_DIR}/resources/bash-completion/tessaly
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${CMAKE_SOURCE_DIR}/resources/UserGuide.html
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/harbel)
