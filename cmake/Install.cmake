# cmake --install: one program folder <prefix>/lib/harbeat with the program, the engine library
# and data/ side by side (the program finds them beside itself), a link <prefix>/bin/harbeat,
# a desktop entry and an icon.
include(GNUInstallDirs)
set(HARBEAT_PROGRAM_FOLDER ${CMAKE_INSTALL_LIBDIR}/harbeat)

install(TARGETS corvane_n LIBRARY DESTINATION ${HARBEAT_PROGRAM_FOLDER})
if(TARGET harbeat)
  install(TARGETS harbeat RUNTIME DESTINATION ${HARBEAT_PROGRAM_FOLDER})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${HARBEAT_PROGRAM_FOLDER}/data)
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"../${HARBEAT_PROGRAM_FOLDER}/harbeat\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/harbeat\" SYMBOLIC)
  ")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/harbeat.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/harbeat.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
