# The seed of a throw-away office profile (data/office-profile.xcu: its
# user/registrymodifications.xcu, which spares the office its first-start work and
# dialogs), compiled into the programs that start offices, as the header
# <corvane_profile_seed.hpp> of the interface library corvane_profile_seed.
set(corvane_seed_file "${PROJECT_SOURCE_DIR}/data/office-profile.xcu")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${corvane_seed_file}")
file(READ "${corvane_seed_file}" CORVANE_PROFILE_SEED)
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/corvane_profile_seed.hpp" CONTENT
"// Generated from data/office-profile.xcu: do not edit.
#pragma once

namespace corvane {
// The user/registrymodifications.xcu of a fresh office profile.
inline constexpr char kProfileSeed[] = R\"xcu(@CORVANE_PROFILE_SEED@)xcu\";
}  // namespace corvane
" @ONLY)
add_library(corvane_profile_seed INTERFACE)
target_include_directories(corvane_profile_seed INTERFACE "${CMAKE_BINARY_DIR}/generated")
