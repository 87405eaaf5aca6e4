# sorrelin_install_manual_page(NAME): installs man/NAME.1, compressed as Debian
# expects, into share/man/man1 (not on Windows or macOS).
function(sorrelin_install_manual_page name)
  if(NOT UNIX OR APPLE)
    return()
  endif()
  set(page ${PROJECT_SOURCE_DIR}/man/${name}.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.1.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  file(ARCHIVE_CREATE OUTPUT ${compressed} PATHS ${page} FORMAT raw COMPRESSION GZip)
  install(FILES ${compressed} DESTINATION share/man/man1)
endfunction()
