// Asks an installed libcorvane, through both of its interfaces, whether an office is
// connected; with no connection both say 0.
#include <corvane/corvane.h>
#include <corvane/corvane.hpp>

#include <cstdio>

int main() {
    std::printf("%d %d\n", CorvaneIsRunning(), corvane_is_running());
    return 0;
}
