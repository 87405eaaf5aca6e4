# The Windows package of the command-line converter: `cpack -G ZIP` in the cross
# build gives sorrelin-convert-1.00-win64.zip with the static program and the README.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
set(CPACK_PACKAGE_NAME sorrelin-convert)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_VENDOR Sorrelin)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
