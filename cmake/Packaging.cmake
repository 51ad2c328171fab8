# The Debian package: `cpack -G DEB` in a configured build folder (scripts/package does it).
# dpkg-shlibdeps works out the library dependencies from the installed program.

set(KESTREL_PACKAGE_SERVER_TAG "" CACHE STRING
    "Say the file server in the package: empty for no, NAME for kestrel-<server>, VERSION for <version>+<server>")
set_property(CACHE KESTREL_PACKAGE_SERVER_TAG PROPERTY STRINGS "" NAME VERSION)

# The file server as a tag Debian accepts in a package name and a version: the host and any
# port, lower case, with every other character turned into `separator`.
function(kestrel_server_tag server separator out)
    string(REGEX REPLACE "^[A-Za-z][A-Za-z0-9+.-]*://" "" tag "${server}")
    string(REGEX REPLACE "/.*$" "" tag "${tag}")
    string(TOLOWER "${tag}" tag)
    string(REGEX REPLACE "[^a-z0-9]+" "${separator}" tag "${tag}")
    string(REGEX REPLACE "^[${separator}]+|[${separator}]+$" "" tag "${tag}")
    if(tag STREQUAL "")
        message(FATAL_ERROR "KESTREL_FILE_SERVER '${server}' names no host for the package")
    endif()
    set(${out} "${tag}" PARENT_SCOPE)
endfunction()

set(kestrel_package_name kestrel)
set(kestrel_package_version ${PROJECT_VERSION})
if(KESTREL_PACKAGE_SERVER_TAG STREQUAL "NAME")
    kestrel_server_tag("${KESTREL_FILE_SERVER}" "-" tag)
    set(kestrel_package_name kestrel-${tag})
    # Every flavour installs the same files, so only one of them can be installed at a time.
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS kestrel)
    set(CPACK_DEBIAN_PACKAGE_REPLACES kestrel)
    set(CPACK_DEBIAN_PACKAGE_PROVIDES kestrel)
elseif(KESTREL_PACKAGE_SERVER_TAG STREQUAL "VERSION")
    kestrel_server_tag("${KESTREL_FILE_SERVER}" "." tag)
    set(kestrel_package_version ${PROJECT_VERSION}+${tag})
elseif(NOT KESTREL_PACKAGE_SERVER_TAG STREQUAL "")
    message(FATAL_ERROR "KESTREL_PACKAGE_SERVER_TAG is empty, NAME or VERSION, not '${KESTREL_PACKAGE_SERVER_TAG}'")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${kestrel_package_name})
set(CPACK_PACKAGE_VERSION ${kestrel_package_version})
set(CPACK_PACKAGE_VENDOR "Emberway")
set(CPACK_PACKAGE_CONTACT "Emberway <support@emberway.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "game installer downloader over BitTorrent")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrel fetches a game's full installer from a BitTorrent swarm that the publisher backs\n"
    "with seeding peers of its own and an HTTP web seed. It asks the publisher's file server\n"
    "(${KESTREL_FILE_SERVER}) whether it may run and what to fetch, reports statistics to it,\n"
    "and shows the progress in one small window.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${kestrel_package_version})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's platform plugins (the window
# needs the X11 or Wayland one) and xdg-open for pages and the download folder.
# dpkg-shlibdeps asks only for the oldest libcurl with the symbols; the request's protections
# (protocol lists, quick exit) need the version CMake asks for too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, xdg-utils, libcurl4 (>= ${KESTREL_CURL_MINIMUM})")
# The skin's text is laid out for these faces; others fit less well. Without Qt's wayland
# platform a Wayland session runs the window through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum, qt6-wayland")

include(CPack)
