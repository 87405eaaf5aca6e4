# Packages of both programs with CPack. A Debian package: cpack -G DEB in the build
# folder; its dependencies on shared libraries are found with dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME sorrelin)
set(CPACK_PACKAGE_VERSION 1.00)  # as the programs' --version says
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
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs Qt's platform plugins, which no library links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)

include(CPack)
