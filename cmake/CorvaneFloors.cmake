# The library's floors, each a target of its own, bottom up:
#   core        the defaults and the error type (headers only); with it every floor sees
#               the public <corvane/market_watch_record.hpp> (CString, MarketWatchRecord)
#   platform    POSIX: processes, files, pipes
#   office      the office over UNO: launch, connection, session, watchdog
#   sheet       sheets and rows over the office
#   live        the live table without UNO: rows, blocks, samples, keys
#   live_sink   the live table's office sink
#   bus         market data over a NATS server (beside the office floors; no UNO)
#   host        the exports: C++, C and live tables
# A floor sees only the headers of its own floor and of the floors below it: each
# compiles against an include root of its own in the build folder, which links just
# those floors' folders of src/. An include that climbs a floor is not found, and the
# build fails (a header with no source file of its own is compiled alone in its floor
# for this). The public headers (include/corvane) are seen by the host floor alone, but
# for the record header.

set(CORVANE_FLOOR_ROOTS "${CMAKE_BINARY_DIR}/floors")

# A folder of links: <root>/<name> -> <target> for each name=target pair.
function(corvane_link_folder root)
    file(MAKE_DIRECTORY "${root}")
    # Links of an earlier configuration go first (each link itself, never what it names).
    file(GLOB old RELATIVE "${root}" LIST_DIRECTORIES true "${root}/*")
    foreach(name IN LISTS old)
        if(IS_SYMLINK "${root}/${name}")
            file(REMOVE "${root}/${name}")
        endif()
    endforeach()
    foreach(pair IN LISTS ARGN)
        string(REPLACE "=" ";" pair "${pair}")
        list(GET pair 0 name)
        list(GET pair 1 target)
        file(CREATE_LINK "${target}" "${root}/${name}" SYMBOLIC)
    endforeach()
endfunction()

# The public headers as they are installed, for the host floor and for programs built
# against the library in this tree.
set(CORVANE_PUBLIC_INCLUDE_DIR "${CORVANE_FLOOR_ROOTS}/public")
set(corvane_public_links)
foreach(header corvane.h corvane.hpp live_table.hpp market_watch_record.hpp)
    list(APPEND corvane_public_links "${header}=${PROJECT_SOURCE_DIR}/include/corvane/${header}")
endforeach()
corvane_link_folder("${CORVANE_PUBLIC_INCLUDE_DIR}/corvane" ${corvane_public_links})
# The host's record and string types are public, and every floor that sees core sees
# them as <corvane/market_watch_record.hpp>: a folder that holds that header alone.
set(corvane_record_dir "${CORVANE_FLOOR_ROOTS}/record")
corvane_link_folder("${corvane_record_dir}"
    "market_watch_record.hpp=${PROJECT_SOURCE_DIR}/include/corvane/market_watch_record.hpp")

# corvane_floor(<name> FLOORS <floors it sees, its own included> [UNO] [PUBLIC_HEADERS]
#               SOURCES <files>)
# Makes the OBJECT library corvane_floor_<name>.
function(corvane_floor name)
    cmake_parse_arguments(arg "UNO;PUBLIC_HEADERS" "" "FLOORS;SOURCES" ${ARGN})
    set(root "${CORVANE_FLOOR_ROOTS}/${name}")
    set(links)
    foreach(floor IN LISTS arg_FLOORS)
        list(APPEND links "${floor}=${PROJECT_SOURCE_DIR}/src/${floor}")
    endforeach()
    if("core" IN_LIST arg_FLOORS)
        list(APPEND links "corvane=${corvane_record_dir}")
    endif()
    corvane_link_folder("${root}" ${links})
    # A header of the floor's own folder with no source file of its name is compiled on
    # its own as well, so that its includes are checked against the floor's root too.
    set(checks)
    if(name IN_LIST arg_FLOORS)
        file(GLOB headers RELATIVE "${PROJECT_SOURCE_DIR}/src/${name}"
            "${PROJECT_SOURCE_DIR}/src/${name}/*.hpp")
        foreach(header IN LISTS headers)
            string(REGEX REPLACE "\\.hpp$" "" stem "${header}")
            if(NOT EXISTS "${PROJECT_SOURCE_DIR}/src/${name}/${stem}.cpp")
                set(check "${CORVANE_FLOOR_ROOTS}/checks/${name}/${stem}_header.cpp")
                file(CONFIGURE OUTPUT "${check}" CONTENT "#include \"${name}/${header}\"\n")
                list(APPEND checks "${check}")
            endif()
        endforeach()
    endif()
    set(target corvane_floor_${name})
    add_library(${target} OBJECT ${arg_SOURCES} ${checks})
    target_include_directories(${target} PRIVATE "${root}")
    if(arg_PUBLIC_HEADERS)
        target_include_directories(${target} PRIVATE "${CORVANE_PUBLIC_INCLUDE_DIR}")
    endif()
    target_compile_definitions(${target} PRIVATE CORVANE_BUILDING_LIBRARY)
    if(arg_UNO)
        target_link_libraries(${target} PRIVATE corvane_uno_types corvane_uno_runtime)
    endif()
    set_property(GLOBAL APPEND PROPERTY CORVANE_FLOOR_TARGETS ${target})
endfunction()
