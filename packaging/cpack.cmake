# `cmake --build build --target package` makes mirrorvane_<version>_<arch>.deb
# from the install rules, with the runtime dependencies that dpkg-shlibdeps
# finds in the two programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirrorvane)
set(CPACK_PACKAGE_VENDOR Dunmarrow)
set(CPACK_PACKAGE_CONTACT "Dunmarrow <mirrorvane@dunmarrow.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hide a secret text message in a picture")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Mirrorvane hides a text in the lowest bits of a picture's pixels, where\n"
    "the eye cannot see it, and reads it back. Open a BMP, JPEG, GIF, PNG or\n"
    "WebP picture, type, paste or load the text, hide it and save the picture\n"
    "as BMP or PNG: whoever opens that file in Mirrorvane sees the text at once.\n"
    ".\n"
    "Hiding is not encryption: anyone who knows where to look can read a\n"
    "hidden text. The package also holds mirrorvane-cli, the same hiding and\n"
    "reading for scripts.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.dunmarrow.example/)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's look names Arial, which Liberation Sans stands in for; the
# Wayland platform plugin is a package of its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
