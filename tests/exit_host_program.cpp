// A host that initialises the library once and returns from main with the connection
// still alive. Arguments: office path, office command line, workbook. Exits 0 when the
// initialisation connected, 3 when it did not (1 is left to failures of the process).
#include <corvane/corvane.hpp>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    return CorvaneInitFunc({argv[1], argv[2], argv[3]}) >= 0 ? 0 : 3;
}
