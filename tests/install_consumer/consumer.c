/* The C API of an installed libcorvane, from C. Given a workbook path and a copy path,
 * it also creates that workbook in the office on the pipe "ooo_pipe", writes a record
 * into it and stores a copy (as CSV, say), printing each step's code. */
#include <corvane/corvane.h>

#include <stdio.h>
#include <time.h>

static int connect_when_up(const char* workbook) {
    const struct timespec pause = {0, 250 * 1000 * 1000};
    int result = CORVANE_E_CONNECT;
    for (int attempt = 0; attempt < 240 && result == CORVANE_E_CONNECT; ++attempt) {
        if (attempt > 0) nanosleep(&pause, NULL);
        result = corvane_connect(workbook);
    }
    return result;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        printf("%d %s\n", corvane_is_running(), corvane_column_title(0));
        return 0;
    }
    corvane_set_timeout(30000);
    const char* sheets[] = {"NSE"};
    const int created = corvane_create_workbook(argv[1], sheets, 1, NULL);
    const int connected = connect_when_up(argv[1]);
    const char* fields[CORVANE_COLUMN_COUNT] = {"NSE", "RELIANCE", "2885"};
    fields[11] = "2475.56";
    const int written = corvane_write_record("NSE", 1, fields);
    const int stored = corvane_save_copy(argv[2]);
    printf("%d %d %d %d %d\n", created, connected, written, stored, corvane_is_running());
    return 0;
}
