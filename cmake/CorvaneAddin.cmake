# The live-formula add-in: a UNO component that Calc loads into the office, fed from the
# bus, packed as the extension corvane-live.oxt (`make extension`). It is no part of
# libcorvane: its floor sees core, platform, office, sheet, the live table's key and the
# bus, and links what it uses of them from corvane_core.

set(corvane_addin_dir "${CMAKE_BINARY_DIR}/addin")
set(corvane_addin_rdb "${corvane_addin_dir}/corvane-live.rdb")
set(corvane_addin_idl "${PROJECT_SOURCE_DIR}/src/addin/idl/org/corvane/live/XLiveFunctions.idl")
find_program(CORVANE_UNOIDL_WRITE unoidl-write PATHS "${CORVANE_OFFICE_SDK_DIR}/bin"
             NO_DEFAULT_PATH REQUIRED)

# The add-in's own type, in a type library the extension carries, and its C++ header.
add_custom_command(
    OUTPUT "${corvane_addin_rdb}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${corvane_addin_dir}"
    COMMAND "${CORVANE_UNOIDL_WRITE}" ${CORVANE_TYPE_LIBRARIES}
            "${PROJECT_SOURCE_DIR}/src/addin/idl" "${corvane_addin_rdb}"
    DEPENDS "${corvane_addin_idl}"
    COMMENT "Compiling the live formulas' type library"
    VERBATIM)
set(corvane_addin_header "${corvane_addin_dir}/uno/org/corvane/live/XLiveFunctions.hpp")
set(corvane_type_options)
foreach(rdb IN LISTS CORVANE_TYPE_LIBRARIES)
    list(APPEND corvane_type_options "-X${rdb}")
endforeach()
add_custom_command(
    OUTPUT "${corvane_addin_header}"
    COMMAND "${CORVANE_CPPUMAKER}" "-O${corvane_addin_dir}/uno" -Torg.corvane.live.XLiveFunctions
            "${corvane_addin_rdb}" ${corvane_type_options}
    DEPENDS "${corvane_addin_rdb}"
    COMMENT "Generating the live formulas' UNO header"
    VERBATIM)
add_custom_target(corvane_addin_type DEPENDS "${corvane_addin_header}")

# The office's types the add-in uses beyond the library's.
corvane_uno_headers(corvane_addin_uno_types "${CMAKE_BINARY_DIR}/uno/addin"
    com.sun.star.awt.AsyncCallback
    com.sun.star.awt.XCallback
    com.sun.star.frame.Desktop
    com.sun.star.frame.XTerminateListener
    com.sun.star.lang.IllegalArgumentException
    com.sun.star.lang.XServiceInfo
    com.sun.star.lang.XSingleComponentFactory
    com.sun.star.lang.XTypeProvider
    com.sun.star.registry.XRegistryKey
    com.sun.star.sheet.ResultEvent
    com.sun.star.sheet.XResultListener
    com.sun.star.sheet.XVolatileResult
    com.sun.star.uno.XAggregation
    com.sun.star.uno.XWeak)

corvane_floor(addin UNO FLOORS core platform office sheet live bus addin SOURCES
    src/addin/live_arguments.cpp
    src/addin/live_functions.cpp
    src/addin/live_result.cpp
    src/addin/live_settings.cpp
    src/addin/live_source.cpp)
add_dependencies(corvane_floor_addin corvane_addin_type)
target_include_directories(corvane_floor_addin SYSTEM PRIVATE "${corvane_addin_dir}/uno")
target_link_libraries(corvane_floor_addin PRIVATE corvane_addin_uno_types)

# The same objects for the in-process tests.
add_library(corvane_addin STATIC $<TARGET_OBJECTS:corvane_floor_addin>)
target_include_directories(corvane_addin PUBLIC "${corvane_addin_dir}/uno")
target_link_libraries(corvane_addin PUBLIC corvane_core corvane_addin_uno_types)

# The component: what the office's loader loads, exporting its two entry points alone.
add_library(corvane-live MODULE $<TARGET_OBJECTS:corvane_floor_addin>)
set_target_properties(corvane-live PROPERTIES PREFIX "lib" OUTPUT_NAME "corvane-live"
    LINK_DEPENDS "${PROJECT_SOURCE_DIR}/src/addin/exports.map")
target_link_libraries(corvane-live PRIVATE corvane_core)
target_link_options(corvane-live PRIVATE
    "LINKER:--version-script=${PROJECT_SOURCE_DIR}/src/addin/exports.map"
    "LINKER:--no-undefined")

# The extension: the component, its type library, its registration and Calc's
# description of the functions, zipped as an .oxt.
set(corvane_extension_dir "${CMAKE_BINARY_DIR}/extension/corvane-live")
set(CORVANE_EXTENSION "${CMAKE_BINARY_DIR}/corvane-live.oxt")
configure_file("${PROJECT_SOURCE_DIR}/src/addin/extension/description.xml.in"
               "${corvane_addin_dir}/description.xml" @ONLY)
set(corvane_extension_files
    "${corvane_addin_dir}/description.xml"
    "${PROJECT_SOURCE_DIR}/src/addin/extension/META-INF/manifest.xml"
    "${PROJECT_SOURCE_DIR}/src/addin/extension/corvane-live.components"
    "${PROJECT_SOURCE_DIR}/src/addin/extension/CalcAddIns.xcu")
add_custom_command(
    OUTPUT "${CORVANE_EXTENSION}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${corvane_extension_dir}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${corvane_extension_dir}/META-INF"
    COMMAND "${CMAKE_COMMAND}" -E copy "${corvane_addin_dir}/description.xml"
            "${PROJECT_SOURCE_DIR}/src/addin/extension/corvane-live.components"
            "${PROJECT_SOURCE_DIR}/src/addin/extension/CalcAddIns.xcu"
            "${corvane_addin_rdb}" "$<TARGET_FILE:corvane-live>" "${corvane_extension_dir}"
    COMMAND "${CMAKE_COMMAND}" -E copy
            "${PROJECT_SOURCE_DIR}/src/addin/extension/META-INF/manifest.xml"
            "${corvane_extension_dir}/META-INF"
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${CORVANE_EXTENSION}"
    COMMAND "${CMAKE_COMMAND}" -E chdir "${corvane_extension_dir}"
            "${CMAKE_COMMAND}" -E tar cf "${CORVANE_EXTENSION}" --format=zip
            META-INF description.xml corvane-live.components CalcAddIns.xcu corvane-live.rdb
            libcorvane-live.so
    DEPENDS corvane-live ${corvane_extension_files} "${corvane_addin_rdb}"
    COMMENT "Packing corvane-live.oxt"
    VERBATIM)
add_custom_target(extension ALL DEPENDS "${CORVANE_EXTENSION}")

# Installed unpacked where the office finds bundled extensions: every profile takes it
# up at its next start, with no unopkg.
set(CORVANE_EXTENSIONS_DIR "lib/libreoffice/share/extensions" CACHE STRING
    "Folder under the prefix for the office's bundled extensions")
set(corvane_extension_destination "${CORVANE_EXTENSIONS_DIR}/corvane-live")
install(FILES "${corvane_addin_dir}/description.xml"
    "${PROJECT_SOURCE_DIR}/src/addin/extension/corvane-live.components"
    "${PROJECT_SOURCE_DIR}/src/addin/extension/CalcAddIns.xcu" "${corvane_addin_rdb}"
    DESTINATION "${corvane_extension_destination}" COMPONENT Extension)
install(FILES "${PROJECT_SOURCE_DIR}/src/addin/extension/META-INF/manifest.xml"
    DESTINATION "${corvane_extension_destination}/META-INF" COMPONENT Extension)
install(TARGETS corvane-live LIBRARY DESTINATION "${corvane_extension_destination}"
    COMPONENT Extension)
