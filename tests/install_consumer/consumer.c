/* The C API of an installed libcorvane, from C. */
#include <corvane/corvane.h>

#include <stdio.h>

int main(void) {
    printf("%d %s\n", corvane_is_running(), corvane_column_title(0));
    return 0;
}
