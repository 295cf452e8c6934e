/* The C API from plain C against a real office, error paths included.
 *
 * Usage: c_api_test OFFICE_PATH WORKBOOK SECOND_WORKBOOK OUTPUT_DIR
 * The office command line comes from the environment variable CORVANE_TEST_COMMAND_LINE.
 * WORKBOOK must have the sheets "NSE" and "BSE", SECOND_WORKBOOK three sheets, both
 * empty. The program asks its parent to kill the office by printing the line
 * "@@kill-office@@ PID" (PID: the office its library started) and waits for one line on
 * standard input before it goes on.
 * Prints "@@case@@ NAME" before each group of checks, every failed check, and "N passed,
 * N failed"; exits 1 when any check failed.
 */
#include <corvane/corvane.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int passed = 0;
static int failed = 0;

static void check(int ok, const char* what, int line) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED line %d: %s (last error: \"%s\")\n", line, what, corvane_last_error());
        fflush(stdout);
    }
}

#define CHECK(condition) check((condition) != 0, #condition, __LINE__)
#define CHECK_EQ(actual, expected)                                                               \
    do {                                                                                         \
        const int actual_ = (actual);                                                            \
        const int expected_ = (expected);                                                        \
        char what_[256];                                                                         \
        snprintf(what_, sizeof what_, "%s == %s (got %d, want %d)", #actual, #expected, actual_, \
                 expected_);                                                                     \
        check(actual_ == expected_, what_, __LINE__);                                            \
    } while (0)

/* Marks the start of a group of checks: the driving test reports each group as a case of
 * its own. */
static void begin_case(const char* name) {
    printf("@@case@@ %s\n", name);
    fflush(stdout);
}

/* The last error contains `part`. */
static int error_mentions(const char* part) { return strstr(corvane_last_error(), part) != NULL; }

static void sleep_ms(long ms) {
    struct timespec pause;
    pause.tv_sec = ms / 1000;
    pause.tv_nsec = (ms % 1000) * 1000000L;
    nanosleep(&pause, NULL);
}

/* Size of a file, or -1 when it does not exist. */
static long file_size(const char* path) {
    FILE* file = fopen(path, "rb");
    long size;
    if (file == NULL) return -1;
    fseek(file, 0, SEEK_END);
    size = ftell(file);
    fclose(file);
    return size;
}

static int file_starts_with(const char* path, const char* prefix) {
    char head[16] = {0};
    FILE* file = fopen(path, "rb");
    size_t got;
    if (file == NULL) return 0;
    got = fread(head, 1, strlen(prefix), file);
    fclose(file);
    return got == strlen(prefix) && memcmp(head, prefix, got) == 0;
}

static int file_contains(const char* path, const char* text) {
    static char content[1 << 16];
    FILE* file = fopen(path, "rb");
    size_t got;
    if (file == NULL) return 0;
    got = fread(content, 1, sizeof content - 1, file);
    fclose(file);
    content[got] = '\0';
    return strstr(content, text) != NULL;
}

/* corvane_init until the office it started accepts, for up to a minute. */
static int init_until_connected(const char* office, const char* command_line, const char* book) {
    int result = CORVANE_E_CONNECT;
    int attempt;
    for (attempt = 0; attempt < 120 && result == CORVANE_E_CONNECT; ++attempt) {
        result = corvane_init(office, command_line, book);
        if (result == CORVANE_E_CONNECT) sleep_ms(500);
    }
    return result;
}

static char warnings[1024];

static void collect_warning(const char* text, void* user) {
    int* count = (int*)user;
    ++*count;
    strncat(warnings, text, sizeof warnings - strlen(warnings) - 2);
    strcat(warnings, "|");
}

static void join(char* out, size_t size, const char* dir, const char* name) {
    snprintf(out, size, "%s/%s", dir, name);
}

/* One record as the tests of the copies expect it (see the driver). */
static void fill_record(const char* fields[CORVANE_COLUMN_COUNT]) {
    int k;
    for (k = 0; k < CORVANE_COLUMN_COUNT; ++k) fields[k] = NULL;
    fields[0] = "NSE";
    fields[1] = "Alpha Ltd";
    fields[2] = "500";
    fields[3] = "1200";
    fields[4] = "101.25";
    fields[9] = "CE";
    fields[11] = "101.5";
}

static void before_any_connection(const char* office) {
    const char* fields[CORVANE_COLUMN_COUNT];
    fill_record(fields);

    CHECK_EQ(corvane_is_running(), 0);
    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_E_NOT_CONNECTED);
    CHECK(error_mentions("corvane_init"));
    CHECK_EQ(corvane_write_record("NSE", 1, fields), CORVANE_E_NOT_CONNECTED);
    CHECK_EQ(corvane_reset_row("NSE", 1), CORVANE_E_NOT_CONNECTED);
    CHECK_EQ(corvane_save_copy("/tmp/never-written.ods"), CORVANE_E_NOT_CONNECTED);
    CHECK_EQ(corvane_shutdown_office(), CORVANE_E_NOT_CONNECTED);

    /* Arguments are checked before anything else. */
    CHECK_EQ(corvane_init(NULL, NULL, "/tmp/x.ods"), CORVANE_E_ARGUMENT);
    CHECK(error_mentions("office_path"));
    CHECK_EQ(corvane_init(office, NULL, NULL), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_init(office, NULL, ""), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_connect(NULL), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_write_record("NSE", 1, NULL), CORVANE_E_ARGUMENT);
    CHECK(error_mentions("NULL"));
    {
        const char* const* rows[1] = {fields};
        CHECK_EQ(corvane_write_records("NSE", 1, NULL, 2), CORVANE_E_ARGUMENT);
        CHECK(error_mentions("NULL"));
        CHECK_EQ(corvane_write_records("NSE", 1, rows, -1), CORVANE_E_ARGUMENT);
        CHECK(error_mentions("negative"));
        CHECK_EQ(corvane_write_records("", 1, rows, 1), CORVANE_E_ARGUMENT);
        CHECK_EQ(corvane_write_records("NSE", 1, rows, 1), CORVANE_E_NOT_CONNECTED);
        corvane_set_fast_writes(1); /* nothing loaded: nothing to change yet */
        corvane_set_fast_writes(0);
    }
    CHECK_EQ(corvane_write_titles(NULL, 0), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_reset_row("", 0), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_save_copy(NULL), CORVANE_E_ARGUMENT);
    CHECK_EQ(corvane_save_copy("/tmp/copy.txt"), CORVANE_E_ARGUMENT);
    CHECK(error_mentions(".ods"));

    /* The layout's titles. */
    CHECK(corvane_column_title(0) != NULL && strcmp(corvane_column_title(0), "Exchange") == 0);
    CHECK(corvane_column_title(3) != NULL && strcmp(corvane_column_title(3), "Best\nBuy Qty") == 0);
    CHECK(corvane_column_title(41) != NULL &&
          strcmp(corvane_column_title(41), "52Week\nLow Yield") == 0);
    CHECK(corvane_column_title(-1) == NULL);
    CHECK(corvane_column_title(CORVANE_COLUMN_COUNT) == NULL);

    /* No office answers yet: an error with a reason, and nothing started. */
    CHECK_EQ(corvane_connect("/tmp"), CORVANE_E_CONNECT);
    CHECK(error_mentions("ooo_pipe"));
    CHECK(error_mentions("couldn't connect")); /* the connector's own words, not on stdout */
}

/* Live table options that cannot work are refused before anything starts, the option
 * named; a handle the library never gave out is answered, not followed. */
static void live_options_refused(const char* book) {
    static const char* const named[] = {
        "sheet",       "sheet",           "first_row",    "first_row",     "titles",
        "interval_ms", "call_timeout_ms", "open_wait_ms", "workbook_path", "workbook_path"};
    const char* fields[CORVANE_COLUMN_COUNT];
    int i;
    for (i = 0; i < 10; ++i) {
        corvane_live_options options;
        corvane_live_default_options(&options);
        options.workbook_path = book;
        options.sheet = "NSE";
        switch (i) {
            case 0:
                options.sheet = NULL;
                break;
            case 1:
                options.sheet = "N:SE";
                break;
            case 2:
                options.first_row = -1;
                break;
            case 3:
                options.first_row = 1048576;
                break;
            case 4: /* titles are on by default */
                options.first_row = 0;
                break;
            case 5:
                options.interval_ms = -1;
                break;
            case 6:
                options.call_timeout_ms = -1;
                break;
            case 7:
                options.open_wait_ms = -1;
                break;
            case 8:
                options.workbook_path = "";
                break;
            default:
                options.workbook_path = "/nonexistent/book.ods";
                break;
        }
        CHECK(corvane_live_open(&options, NULL, NULL) == NULL);
        CHECK_EQ(corvane_last_error_code(), i == 9 ? CORVANE_E_LOAD : CORVANE_E_ARGUMENT);
        check(error_mentions(named[i]), named[i], __LINE__);
    }
    fill_record(fields);
    CHECK_EQ(corvane_live_put((corvane_live*)fields, fields), CORVANE_E_NOT_CONNECTED);
}

static void warnings_reach_the_handler(const char* office, const char* command_line) {
    int count = 0;
    warnings[0] = '\0';
    corvane_set_warning_handler(collect_warning, &count);
    CHECK_EQ(corvane_init(office, command_line, "/nonexistent/book.ods"), CORVANE_E_LOAD);
    CHECK(error_mentions("does not exist"));
    CHECK_EQ(count, 1);
    CHECK(strstr(warnings, "missing") != NULL);
    corvane_set_warning_handler(NULL, NULL);
}

static void rows_in_a_live_office(const char* office, const char* command_line, const char* book) {
    const char* fields[CORVANE_COLUMN_COUNT];
    fill_record(fields);

    CHECK_EQ(init_until_connected(office, command_line, book), 2);
    CHECK_EQ(corvane_is_running(), 1);

    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_OK);
    CHECK_EQ(corvane_write_record("NSE", 1, fields), CORVANE_OK);
    CHECK_EQ(corvane_write_record("NSE", 2, fields), CORVANE_OK);
    CHECK_EQ(corvane_reset_row("NSE", 2), CORVANE_OK);
    CHECK_EQ(corvane_write_record("BSE", 0, fields), CORVANE_OK);

    /* Batched rows into BSE 1 to 4 (see the driver): row 2 keeps its record. */
    {
        const char* kept[CORVANE_COLUMN_COUNT] = {NULL};
        const char* const* rows[3] = {fields, NULL, fields};
        kept[1] = "Kept Ltd";
        CHECK_EQ(corvane_write_record("BSE", 2, kept), CORVANE_OK);
        CHECK_EQ(corvane_write_records("BSE", 1, rows, 3), CORVANE_OK);
        CHECK_EQ(corvane_write_records("BSE", 1, rows, 0), CORVANE_OK);
        CHECK_EQ(corvane_write_records("Nowhere", 1, rows, 0), CORVANE_E_NO_SHEET);
        CHECK_EQ(corvane_write_records("BSE", 1048575, rows, 3), CORVANE_E_OFFICE);
        CHECK(error_mentions("com.sun.star."));
        corvane_set_fast_writes(1);
        CHECK_EQ(corvane_write_records("BSE", 4, rows, 1), CORVANE_OK);
        corvane_set_fast_writes(0);
    }

    CHECK_EQ(corvane_write_titles("Nowhere", 0), CORVANE_E_NO_SHEET);
    CHECK(error_mentions("Nowhere"));
    CHECK_EQ(corvane_write_record("nse ", 1, fields), CORVANE_E_NO_SHEET);

    /* Rows outside the sheet: the office's own error, type and all. */
    CHECK_EQ(corvane_write_titles("NSE", -1), CORVANE_E_OFFICE);
    CHECK(error_mentions("com.sun.star."));
    CHECK_EQ(corvane_write_record("NSE", -1, fields), CORVANE_E_OFFICE);
    CHECK(error_mentions("com.sun.star."));
    CHECK_EQ(corvane_reset_row("NSE", 1048576), CORVANE_E_OFFICE);
    CHECK(error_mentions("com.sun.star."));
    /* ... and the connection is still fine afterwards. */
    CHECK_EQ(corvane_is_running(), 1);
}

static void copies(const char* out_dir) {
    char path[1024];
    const char* formats[] = {"copy.ods", "copy.xlsx", "copy.csv", "copy.pdf", "Copy.HTML"};
    size_t i;
    for (i = 0; i < sizeof formats / sizeof formats[0]; ++i) {
        join(path, sizeof path, out_dir, formats[i]);
        CHECK_EQ(corvane_save_copy(path), CORVANE_OK);
        CHECK(file_size(path) > 0);
    }
    join(path, sizeof path, out_dir, "copy.pdf");
    CHECK(file_starts_with(path, "%PDF"));
    join(path, sizeof path, out_dir, "copy.ods");
    CHECK(file_starts_with(path, "PK"));
    join(path, sizeof path, out_dir, "copy.csv");
    CHECK(file_contains(path, "Alpha Ltd"));
    CHECK(file_contains(path, "\"Best\nBuy Qty\""));

    /* Storing again replaces the file. */
    join(path, sizeof path, out_dir, "copy.ods");
    CHECK_EQ(corvane_save_copy(path), CORVANE_OK);

    CHECK_EQ(corvane_save_copy("/nonexistent-folder/copy.ods"), CORVANE_E_SAVE);
    CHECK(error_mentions("does not exist"));
    /* A copy changes nothing of the open workbook: it still answers and takes rows. */
    CHECK_EQ(corvane_is_running(), 1);
    CHECK_EQ(corvane_write_titles("BSE", 5), CORVANE_OK);
}

/* A second workbook in the same office; the count stays the first one's. */
static void second_workbook(const char* second_book) {
    const char* fields[CORVANE_COLUMN_COUNT];
    fill_record(fields);
    CHECK_EQ(corvane_connect(second_book), 2);
    CHECK_EQ(corvane_write_record("Options", 0, fields), CORVANE_OK);
    CHECK_EQ(corvane_is_running(), 1);
}

/* Disconnecting leaves the office running with the workbook, which a new connection
 * takes up. */
static void disconnect_and_connect_again(const char* book) {
    CHECK_EQ(corvane_disconnect(), CORVANE_OK);
    CHECK_EQ(corvane_is_running(), 0);
    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_E_NOT_CONNECTED);
    CHECK_EQ(corvane_disconnect(), CORVANE_OK);
    CHECK_EQ(corvane_connect(book), 2);
    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_OK);
}

static void shutdown_and_restart(const char* office, const char* command_line, const char* book) {
    CHECK_EQ(corvane_shutdown_office(), CORVANE_OK);
    CHECK_EQ(corvane_is_running(), 0);
    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_E_NOT_CONNECTED);
    CHECK_EQ(corvane_shutdown_office(), CORVANE_E_NOT_CONNECTED);
    /* The office has ended: nothing accepts on the pipe any more. */
    CHECK_EQ(corvane_connect(book), CORVANE_E_CONNECT);
    CHECK(error_mentions("ooo_pipe"));

    /* A new office, started by the library again. */
    CHECK_EQ(init_until_connected(office, command_line, book), 2);
    CHECK_EQ(corvane_is_running(), 1);
}

static void office_killed(void) {
    const char* fields[CORVANE_COLUMN_COUNT];
    char line[64];
    fill_record(fields);

    printf("@@kill-office@@ %d\n", corvane_office_pid());
    fflush(stdout);
    if (fgets(line, sizeof line, stdin) == NULL) {
        check(0, "the parent answered the kill request", __LINE__);
        return;
    }
    CHECK_EQ(corvane_is_running(), 0);
    CHECK_EQ(corvane_write_record("NSE", 1, fields), CORVANE_E_OFFICE);
    CHECK(corvane_last_error()[0] != '\0');
    CHECK_EQ(corvane_write_titles("NSE", 0), CORVANE_E_OFFICE);
    CHECK_EQ(corvane_reset_row("NSE", 0), CORVANE_E_OFFICE);
    CHECK_EQ(corvane_save_copy("/tmp/never-written-either.ods"), CORVANE_E_OFFICE);
    CHECK(error_mentions("com.sun.star."));
    CHECK_EQ(corvane_shutdown_office(), CORVANE_E_OFFICE);
    CHECK(corvane_last_error()[0] != '\0');
    CHECK_EQ(corvane_is_running(), 0);
}

int main(int argc, char** argv) {
    const char* command_line = getenv("CORVANE_TEST_COMMAND_LINE");
    if (argc != 5 || command_line == NULL) {
        fprintf(stderr,
                "usage: CORVANE_TEST_COMMAND_LINE=... %s OFFICE WORKBOOK SECOND_WORKBOOK "
                "OUTPUT_DIR\n",
                argv[0]);
        return 2;
    }
    begin_case("before_any_connection");
    before_any_connection(argv[1]);
    begin_case("live_options_refused");
    live_options_refused(argv[2]);
    begin_case("warnings_reach_the_handler");
    warnings_reach_the_handler(argv[1], command_line);
    begin_case("rows_in_a_live_office");
    rows_in_a_live_office(argv[1], command_line, argv[2]);
    begin_case("copies");
    copies(argv[4]);
    begin_case("second_workbook");
    second_workbook(argv[3]);
    begin_case("disconnect_and_connect_again");
    disconnect_and_connect_again(argv[2]);
    begin_case("shutdown_and_restart");
    shutdown_and_restart(argv[1], command_line, argv[2]);
    begin_case("office_killed");
    office_killed();

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
