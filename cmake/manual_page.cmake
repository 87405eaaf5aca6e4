# sorrelin_install_manual_page(NAME): installs man/NAME.1, its version filled in, compressed as Debian
# expects, into share/man/man1 (not on Windows or macOS).
function(sorrelin_install_manual_page name)
  if(NOT UNIX OR APPLE)
    return()
  endif()
  set(page ${PROJECT_SOURCE_DIR}/man/${name}.1)
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.1.gz)
  configure_file(${page} ${configured} @ONLY)  # the version, from project()
  file(ARCHIVE_CREATE OUTPUT ${compressed} PATHS ${configured} FORMAT raw COMPRESSION GZip)
  install(FILES ${compressed} DESTINATION share/man/man1)
endfunction()
