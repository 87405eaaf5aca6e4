# Packages of both programs with CPack. A Debian package: cpack -G DEB in the build
# folder; its dependencies on shared libraries are found with dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME sorrelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})  # project()'s, as the programs' --version
set(CPACK_PACKAGE_VENDOR Sorrelin)
set(CPACK_PACKAGE_CONTACT "Sorrelin maintainers <maintainers@sorrelin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "digital waveform document to text table converter")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Converts a digital waveform document, the XML file (.XMLdig) in which an\n"
       "oscilloscope's acquisition software saves its digital lines, into a plain ASCII\n"
       "text table beside it: sorrelin is a small window, and sorrelin-convert converts\n"
       "documents from the command line.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs Qt's platform plugins, which no library links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)
# Folders 0755 whatever the umask of the user who makes the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# RFC 2822 date of YEAR-MM-DD at midnight UTC, as Debian changelogs give it.
function(sorrelin_rfc2822_date year month day out)
  string(REGEX REPLACE "^0" "" m ${month})
  string(REGEX REPLACE "^0" "" d ${day})
  math(EXPR index "${m} - 1")
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)  # the day of the week, by Sakamoto's method
  list(GET offsets ${index} offset)
  set(y ${year})
  if(m LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${d}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday)
  list(GET months ${index} month_name)
  set(${out} "${weekday}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# The Debian changelog, made from CHANGELOG.md: each "## VERSION (YYYY-MM-DD)" section
# is an entry, its "- " items are "  * " items and its other lines are indented by two.
function(sorrelin_debian_changelog source output)
  file(READ ${source} text)
  set(entries "")
  set(date "")
  string(APPEND text "\n## ")  # ends the last entry
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    if(end EQUAL -1)
      set(line "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${end} line)
      math(EXPR end "${end} + 1")
      string(SUBSTRING "${text}" ${end} -1 text)
    endif()
    if(line MATCHES "^## ")
      if(date)
        string(REGEX REPLACE "\n+$" "\n" entries "${entries}")
        string(APPEND entries "\n -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
        set(date "")
      endif()
      if(line MATCHES "^## ([^ ]+) \\(([0-9]+)-([0-9]+)-([0-9]+)\\)$")
        if(entries)
          string(APPEND entries "\n")
        endif()
        string(APPEND entries "${CPACK_PACKAGE_NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium\n")
        sorrelin_rfc2822_date(${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} date)
      elseif(NOT line STREQUAL "## ")
        message(FATAL_ERROR "${source}: a version's heading is \"## VERSION (YYYY-MM-DD)\": ${line}")
      endif()
    elseif(date AND line MATCHES "^- (.*)")
      string(APPEND entries "  * ${CMAKE_MATCH_1}\n")
    elseif(date AND NOT line STREQUAL "")
      string(APPEND entries "  ${line}\n")
    elseif(date)
      string(APPEND entries "\n")
    endif()
  endwhile()
  file(WRITE ${output} "${entries}")
endfunction()

# The documentation Debian asks for, in share/doc/sorrelin: the licence as a
# machine-readable copyright file, the changelog and the README, compressed as Debian
# wants (gzip -9n: no name, no time stamp) when the project is built.
set(package_doc ${PROJECT_BINARY_DIR}/package-doc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright "${license}")
set(copyright ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*\n\n(Permission )" "\\1" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n" "\n " license " ${license}")
string(REPLACE "\n \n" "\n .\n" license "${license}")
file(WRITE ${package_doc}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Sorrelin\n\n"
     "Files: *\nCopyright: ${copyright}\nLicense: Expat\n\n"
     "License: Expat\n${license}\n")
sorrelin_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${package_doc}/changelog)
find_program(SORRELIN_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${package_doc}/changelog.gz ${package_doc}/README.md.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${package_doc}
                   COMMAND ${SORRELIN_GZIP} -9nkf ${package_doc}/changelog ${package_doc}/README.md
                   DEPENDS ${package_doc}/changelog ${PROJECT_SOURCE_DIR}/README.md VERBATIM)
add_custom_target(sorrelin_package_doc ALL DEPENDS ${package_doc}/changelog.gz ${package_doc}/README.md.gz)
install(FILES ${package_doc}/copyright ${package_doc}/changelog.gz ${package_doc}/README.md.gz
        DESTINATION share/doc/${CPACK_PACKAGE_NAME})

# Run by cpack on the staged files before it packs them: every gzip file (the manual
# pages) recompressed with gzip -9n, and the programs without the compiler's notes.
set(CPACK_SORRELIN_GZIP ${SORRELIN_GZIP})
set(CPACK_SORRELIN_STRIP ${CMAKE_STRIP})
file(WRITE ${PROJECT_BINARY_DIR}/package-finish.cmake [=[
file(GLOB_RECURSE compressed ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.gz)
foreach(file IN LISTS compressed)
  string(REGEX REPLACE "[.]gz$" "" plain ${file})
  execute_process(COMMAND ${CPACK_SORRELIN_GZIP} -df ${file} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CPACK_SORRELIN_GZIP} -9n ${plain} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*)
if(CPACK_SORRELIN_STRIP AND programs)
  execute_process(COMMAND ${CPACK_SORRELIN_STRIP} --remove-section=.comment --remove-section=.note
                          ${programs} COMMAND_ERROR_IS_FATAL ANY)
endif()
]=])
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/package-finish.cmake)

include(CPack)
