# `make package`: Debian packages of the build, cut along the install components of
# cmake/CorvaneInstall.cmake the way Debian splits a library:
#   libcorvane1               Runtime      the shared library, under its soname
#   libcorvane-dev            Development  headers, corvane.pc, the CMake package, the link
#   corvane-tools             Tools        corvane-feed and corvane-publish, manual pages
#   python3-corvane           Python       the module, on Debian's python3
#   libreoffice-corvane-live  Extension    the live formulas, a bundled extension
# The version is the project's; dependencies on shared objects come from dpkg-shlibdeps,
# those on the office and on each other are named here.

set(CORVANE_DEBIAN_REVISION 1)
set(CORVANE_DEBIAN_VERSION "${PROJECT_VERSION}-${CORVANE_DEBIAN_REVISION}")
set(CORVANE_MAINTAINER "The Corvane developers <corvane@corvane.org>")
set(corvane_same_library "libcorvane1 (= ${CORVANE_DEBIAN_VERSION})")
set(corvane_office "libreoffice-calc | libreoffice-calc-nogui")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT "${CORVANE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tools Python)
if(TARGET corvane-live)
    list(APPEND CPACK_COMPONENTS_ALL Extension)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CORVANE_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE corvane)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The tools need the library of this build, which no installed package provides yet:
# it is found here, and named in their dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.org")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcorvane1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${corvane_office}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "nats-server")
# The loader's cache is refreshed by dpkg's trigger, and programs built against this
# version ask for at least it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/triggers")
string(CONCAT CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "mirror a market watch into a LibreOffice Calc workbook\n"
    "Corvane writes a market-data host's market watch, one instrument per\n"
    "row, into a spreadsheet open in a running LibreOffice, over UNO: coloured\n"
    "title rows, record rows of 42 values and blank rows, in named sheets,\n"
    "kept live from a feed or a NATS bus.\n"
    ".\n"
    "This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcorvane-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${corvane_same_library}")
string(CONCAT CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "mirror a market watch into a LibreOffice Calc workbook - development files\n"
    "Corvane writes a market-data host's market watch into a spreadsheet open in a\n"
    "running LibreOffice, over UNO.\n"
    ".\n"
    "This package holds the C and C++ headers, the pkg-config file and the CMake\n"
    "package (find_package(Corvane)) for building programs against libcorvane.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME corvane-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${corvane_same_library}, ${corvane_office}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "nats-server")
string(CONCAT CPACK_COMPONENT_TOOLS_DESCRIPTION
    "mirror a market watch into a LibreOffice Calc workbook - tools\n"
    "Corvane writes a market-data host's market watch into a spreadsheet open in a\n"
    "running LibreOffice, over UNO.\n"
    ".\n"
    "This package holds corvane-feed, which mirrors a market watch read as CSV or\n"
    "from a NATS bus into a live workbook, and corvane-publish, which publishes one\n"
    "to a NATS server.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-corvane)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/python3-corvane/postinst"
    "${PROJECT_SOURCE_DIR}/packaging/python3-corvane/prerm")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, libcorvane1 (>= ${CORVANE_DEBIAN_VERSION})")
string(CONCAT CPACK_COMPONENT_PYTHON_DESCRIPTION
    "mirror a market watch into a LibreOffice Calc workbook - Python 3 module\n"
    "Corvane writes a market-data host's market watch into a spreadsheet open in a\n"
    "running LibreOffice, over UNO.\n"
    ".\n"
    "This package holds the Python 3 module corvane, which calls the library.")

set(CPACK_DEBIAN_EXTENSION_PACKAGE_NAME libreoffice-corvane-live)
set(CPACK_DEBIAN_EXTENSION_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_EXTENSION_PACKAGE_DEPENDS "${corvane_office}")
set(CPACK_DEBIAN_EXTENSION_PACKAGE_SUGGESTS "nats-server")
string(CONCAT CPACK_COMPONENT_EXTENSION_DESCRIPTION
    "live market-data formulas for LibreOffice Calc\n"
    "Corvane's LIVE, LIVE.STATUS and LIVE.SUBSCRIPTIONS functions give any cell of\n"
    "any workbook an instrument's field that stays current from a NATS bus.\n"
    ".\n"
    "The extension is bundled with the office: every profile takes it up at its\n"
    "next start.")

# Every package carries the copyright file and the changelog, in its own doc folder.
configure_file("${PROJECT_SOURCE_DIR}/packaging/changelog.in"
    "${CMAKE_BINARY_DIR}/packaging/changelog.Debian" @ONLY)
execute_process(COMMAND gzip -9nf "${CMAKE_BINARY_DIR}/packaging/changelog.Debian"
    RESULT_VARIABLE corvane_gzip)
if(NOT corvane_gzip EQUAL 0)
    message(FATAL_ERROR "cannot compress the packages' changelog")
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER "${component}" upper)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
        "${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}"
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# What lintian would report of the library and must stay, said where lintian reads it.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/lintian/libcorvane1"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" COMPONENT Runtime
    EXCLUDE_FROM_ALL)

include(CPack)
