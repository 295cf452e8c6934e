# Generates the C++ headers of UNO API types with the SDK's cppumaker.
#
# corvane_uno_headers(<target> <output-dir> [<type>...]) adds an INTERFACE library
# <target> whose include directory holds the headers of the named types and of every
# type they depend on, generated at build time from the office's type libraries.

set(CORVANE_OFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program" CACHE PATH
    "Program directory of the office installation (soffice, fundamentalrc, types.rdb)")
set(CORVANE_OFFICE_SDK_DIR "/usr/lib/libreoffice/sdk" CACHE PATH
    "The office's software development kit (cppumaker, link libraries)")

find_program(CORVANE_CPPUMAKER cppumaker PATHS "${CORVANE_OFFICE_SDK_DIR}/bin" NO_DEFAULT_PATH)
if(NOT CORVANE_CPPUMAKER)
    message(FATAL_ERROR "cppumaker not found in ${CORVANE_OFFICE_SDK_DIR}/bin: install libreoffice-dev")
endif()
set(CORVANE_TYPE_LIBRARIES
    "${CORVANE_OFFICE_PROGRAM_DIR}/types.rdb"
    "${CORVANE_OFFICE_PROGRAM_DIR}/types/offapi.rdb")
foreach(rdb IN LISTS CORVANE_TYPE_LIBRARIES)
    if(NOT EXISTS "${rdb}")
        message(FATAL_ERROR "${rdb} not found: install the office (libreoffice-calc)")
    endif()
endforeach()

function(corvane_uno_headers target outdir)
    # One -T option per type; none at all means every type of the type libraries.
    set(type_options "")
    foreach(type IN LISTS ARGN)
        list(APPEND type_options "-T${type}")
    endforeach()
    set(stamp "${outdir}.stamp")
    add_custom_command(
        OUTPUT "${stamp}"
        COMMAND "${CMAKE_COMMAND}" -E rm -rf "${outdir}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${outdir}"
        COMMAND "${CORVANE_CPPUMAKER}" "-O${outdir}" ${type_options} ${CORVANE_TYPE_LIBRARIES}
        COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
        DEPENDS ${CORVANE_TYPE_LIBRARIES}
        COMMENT "Generating UNO headers for ${target}"
        VERBATIM)
    add_custom_target(${target}_generate DEPENDS "${stamp}")
    add_library(${target} INTERFACE)
    add_dependencies(${target} ${target}_generate)
    target_include_directories(${target} SYSTEM INTERFACE "${outdir}")
endfunction()

# The UNO runtime: headers and link libraries of the SDK, found at run time in the
# office's program directory.
add_library(corvane_uno_runtime INTERFACE)
target_include_directories(corvane_uno_runtime SYSTEM INTERFACE /usr/include/libreoffice)
target_compile_definitions(corvane_uno_runtime INTERFACE LINUX UNX CPPU_ENV=gcc3)
target_link_libraries(corvane_uno_runtime INTERFACE
    "${CORVANE_OFFICE_SDK_DIR}/lib/libuno_cppuhelpergcc3.so"
    "${CORVANE_OFFICE_SDK_DIR}/lib/libuno_cppu.so"
    "${CORVANE_OFFICE_SDK_DIR}/lib/libuno_sal.so")
# Programs and libraries of the build tree find them there; installed ones as
# cmake/CorvaneInstall.cmake decides.
list(APPEND CMAKE_BUILD_RPATH "${CORVANE_OFFICE_PROGRAM_DIR}")
