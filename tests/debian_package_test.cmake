# Builds the Debian package with cpack in BUILD_DIR, unpacks it with dpkg -x into
# SCRATCH and checks its files (documentation, icons, the MIME type's rules), its
# declared dependencies, that the packaged converter runs, and lintian's verdict.
# Run by ctest: cmake -DCPACK=... -DBUILD_DIR=... -DSCRATCH=... -P
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV} failed (${status}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${SCRATCH})
run(${CPACK} -G DEB -B ${SCRATCH} --config ${BUILD_DIR}/CPackConfig.cmake)
file(GLOB package ${SCRATCH}/*.deb)
set(root ${SCRATCH}/root)
run(dpkg -x ${package} ${root})

file(GLOB_RECURSE files RELATIVE ${root} ${root}/*)
set(icon_sizes 16 32 48 64 128 256)
set(expected
    usr/bin/sorrelin
    usr/bin/sorrelin-convert
    usr/share/applications/sorrelin.desktop
    usr/share/doc/sorrelin/README.md.gz
    usr/share/doc/sorrelin/changelog.gz
    usr/share/doc/sorrelin/copyright
    usr/share/icons/hicolor/scalable/apps/sorrelin.svg
    usr/share/man/man1/sorrelin-convert.1.gz
    usr/share/man/man1/sorrelin.1.gz
    usr/share/mime/packages/sorrelin.xml)
foreach(size IN LISTS icon_sizes)
  list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/sorrelin.png)
endforeach()
list(SORT files)
list(SORT expected)
if(NOT files STREQUAL expected)
  list(JOIN files "\n" files)
  message(FATAL_ERROR "unexpected package files:\n${files}")
endif()

# Each icon is as large as its folder says: its IHDR holds width and height, 32 bits each.
foreach(size IN LISTS icon_sizes)
  file(READ ${root}/usr/share/icons/hicolor/${size}x${size}/apps/sorrelin.png ihdr OFFSET 16 LIMIT 8 HEX)
  math(EXPR width "0x${ihdr}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR wanted "${size} * 0x100000001" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT width STREQUAL wanted)
    message(FATAL_ERROR "the ${size}x${size} icon's size is ${ihdr}")
  endif()
endforeach()

run(dpkg-deb --field ${package} Version)
string(STRIP "${out}" version)
run(gzip -dc ${root}/usr/share/doc/sorrelin/changelog.gz)
if(NOT out MATCHES "^sorrelin \\(${version}\\) ")
  message(FATAL_ERROR "the changelog's latest entry is not version ${version}:\n${out}")
endif()
file(READ ${root}/usr/share/doc/sorrelin/copyright copyright)
if(NOT copyright MATCHES "^Format: [^\n]+/copyright-format/1.0/\n.*\nLicense: Expat\n Permission is")
  message(FATAL_ERROR "copyright is not a DEP-5 file with the licence's text:\n${copyright}")
endif()

# The MIME type is recognised by content too: its root element and a magic string,
# and shared-mime-info puts both in its database.
set(mime ${root}/usr/share/mime)
file(READ ${mime}/packages/sorrelin.xml rules)
if(NOT rules MATCHES "<root-XML namespaceURI=\"\" localName=\"QelvarTamberlinedata\"/>"
   OR NOT rules MATCHES "<magic priority=\"80\">[ \n]*<match type=\"string\" value=\"&lt;QelvarTamberlinedata\"")
  message(FATAL_ERROR "the MIME type lacks its content rules:\n${rules}")
endif()
find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  run(${UPDATE_MIME_DATABASE} ${mime})
  file(STRINGS ${mime}/XMLnamespaces root_rule REGEX "^ QelvarTamberlinedata application/x-xmldig$")
  file(STRINGS ${mime}/magic magic REGEX "^\\[80:application/x-xmldig\\]$|<QelvarTamberlinedata")
  list(LENGTH magic magic_lines)
  if(NOT root_rule OR NOT magic_lines EQUAL 2)
    message(FATAL_ERROR "the MIME database lacks the content rules: '${root_rule}' '${magic}'")
  endif()
endif()

run(dpkg-deb --field ${package} Depends)
foreach(dependency libqt6widgets6 libexpat1 qt6-qpa-plugins)
  if(NOT out MATCHES "(^|, )${dependency}[ ,\n]")
    message(FATAL_ERROR "Depends lacks ${dependency}: ${out}")
  endif()
endforeach()

run(${root}/usr/bin/sorrelin-convert --version)
if(NOT out MATCHES "^sorrelin-convert ${version}\n")
  message(FATAL_ERROR "packaged sorrelin-convert --version: ${out}")
endif()

find_program(LINTIAN lintian)
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} ${package} OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(out MATCHES "(^|\n)E: ")
    message(FATAL_ERROR "lintian finds errors in the package:\n${out}")
  endif()
endif()
file(REMOVE_RECURSE ${SCRATCH})
