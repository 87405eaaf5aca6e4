# Builds the Debian package with cpack in BUILD_DIR, unpacks it with dpkg -x into
# SCRATCH and checks its files, its declared dependencies and that the packaged
# converter runs. Run by ctest: cmake -DCPACK=... -DBUILD_DIR=... -DSCRATCH=... -P
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
run(dpkg -x ${package} ${SCRATCH}/root)

file(GLOB_RECURSE files RELATIVE ${SCRATCH}/root ${SCRATCH}/root/*)
list(SORT files)
set(expected
    usr/bin/sorrelin
    usr/bin/sorrelin-convert
    usr/share/applications/sorrelin.desktop
    usr/share/icons/hicolor/16x16/apps/sorrelin.png
    usr/share/icons/hicolor/32x32/apps/sorrelin.png
    usr/share/man/man1/sorrelin-convert.1.gz
    usr/share/man/man1/sorrelin.1.gz
    usr/share/mime/packages/sorrelin.xml)
if(NOT files STREQUAL expected)
  list(JOIN files "\n" files)
  message(FATAL_ERROR "unexpected package files:\n${files}")
endif()

run(dpkg-deb --field ${package} Depends)
foreach(dependency libqt6widgets6 libexpat1 qt6-qpa-plugins)
  if(NOT out MATCHES "(^|, )${dependency}[ ,\n]")
    message(FATAL_ERROR "Depends lacks ${dependency}: ${out}")
  endif()
endforeach()

run(${SCRATCH}/root/usr/bin/sorrelin-convert --version)
if(NOT out MATCHES "^sorrelin-convert 1.00\n")
  message(FATAL_ERROR "packaged sorrelin-convert --version: ${out}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
