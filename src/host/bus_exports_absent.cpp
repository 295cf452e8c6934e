// The publishing functions of a library built without the bus (CORVANE_BUS off): they
// are exported all the same, so that one header fits every build, and each one says
// why it cannot publish.
#include <corvane/corvane.h>

#include <cstring>

#include "host/c_errors.hpp"

namespace {

int Absent() {
    return corvane::c_api::Fail(CORVANE_E_INTERNAL,
                                "this library was built without the bus (CORVANE_BUS off)");
}

}  // namespace

extern "C" {

CORVANE_C_API void corvane_publisher_default_options(corvane_publisher_options* options) {
    if (options == nullptr) return;
    std::memset(options, 0, sizeof(*options));
    options->struct_size = sizeof(*options);
}

CORVANE_C_API corvane_publisher* corvane_publisher_open(const corvane_publisher_options*) {
    Absent();
    return nullptr;
}

CORVANE_C_API int corvane_publish(corvane_publisher*, const char* const[CORVANE_COLUMN_COUNT]) {
    return Absent();
}

CORVANE_C_API int corvane_publisher_flush(corvane_publisher*, int) { return Absent(); }

CORVANE_C_API int corvane_publisher_get_stats(corvane_publisher*, corvane_publisher_stats*) {
    return Absent();
}

CORVANE_C_API int corvane_publisher_close(corvane_publisher*, int) { return Absent(); }

}  // extern "C"
