# What `cmake --install` puts into the prefix:
#   lib/libcorvane.so*                      the library with its soname links
#   include/corvane/corvane.h, corvane.hpp  the C API and the C++ exports (and
#       market_watch_record.hpp, which corvane.hpp includes)
#   lib/cmake/Corvane/                      find_package(Corvane) -> Corvane::corvane
#   lib/pkgconfig/corvane.pc                pkg-config --cflags --libs corvane
#   lib/python3/dist-packages/corvane/      the Python module (import corvane)
#   bin/corvane-feed, bin/corvane-publish   when the tools are part of the build
# (lib stands for the platform's library folder, CMAKE_INSTALL_LIBDIR.) Every path in
# the installed files is relative, so the tree can be moved as a whole.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVANE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Corvane")
set(CORVANE_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
# Debian's interpreters look here under /usr and /usr/local.
set(CORVANE_PYTHON_DIR "lib/python3/dist-packages" CACHE STRING
    "Folder under the prefix for the Python module")

# The UNO runtime libraries are found where the office keeps them.
set_target_properties(corvane PROPERTIES INSTALL_RPATH "${CORVANE_OFFICE_PROGRAM_DIR}")
install(TARGETS corvane EXPORT CorvaneTargets
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" NAMELINK_COMPONENT Development
    INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
# corvane.hpp includes the core header of CString and MarketWatchRecord from its side.
install(FILES include/corvane/corvane.h include/corvane/corvane.hpp include/corvane/live_table.hpp
    src/core/market_watch_record.hpp DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/corvane")

install(EXPORT CorvaneTargets NAMESPACE Corvane:: DESTINATION "${CORVANE_CMAKE_DIR}")
configure_package_config_file(cmake/CorvaneConfig.cmake.in
    "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfig.cmake"
    INSTALL_DESTINATION "${CORVANE_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfig.cmake"
    "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfigVersion.cmake"
    DESTINATION "${CORVANE_CMAKE_DIR}")

# The .pc file finds the prefix from its own folder.
file(RELATIVE_PATH CORVANE_PKGCONFIG_TO_PREFIX "/prefix/${CORVANE_PKGCONFIG_DIR}" "/prefix")
configure_file(cmake/corvane.pc.in "${CMAKE_CURRENT_BINARY_DIR}/corvane.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/corvane.pc" DESTINATION "${CORVANE_PKGCONFIG_DIR}")

# The Python module, told where the library lies relative to it.
file(RELATIVE_PATH CORVANE_PYTHON_TO_LIBDIR "/prefix/${CORVANE_PYTHON_DIR}/corvane"
    "/prefix/${CMAKE_INSTALL_LIBDIR}")
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/python/_location.py"
    "# Written at build time: the library's folder, relative to this package.\n"
    "LIBRARY_DIR = \"${CORVANE_PYTHON_TO_LIBDIR}\"\n")
install(FILES python/corvane/__init__.py "${CMAKE_CURRENT_BINARY_DIR}/python/_location.py"
    DESTINATION "${CORVANE_PYTHON_DIR}/corvane")

# corvane-feed may be defined after this file is read: decide at the end of the
# top-level folder.
function(corvane_install_feed)
    foreach(tool corvane-feed corvane-publish)
        if(TARGET ${tool})
            # Finds the library of its own prefix, wherever the tree was installed.
            file(RELATIVE_PATH to_libdir "/prefix/${CMAKE_INSTALL_BINDIR}"
                "/prefix/${CMAKE_INSTALL_LIBDIR}")
            set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libdir}")
            install(TARGETS ${tool} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
        endif()
    endforeach()
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL corvane_install_feed)
