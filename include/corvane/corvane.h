/* Corvane C API: mirrors a market watch into a spreadsheet open in a running office.
 *
 * Plain C, usable from C and through FFI. Every function returns an int: 0 or a
 * non-negative count on success, one of the negative CORVANE_E_* codes on failure.
 * After a failure corvane_last_error() describes it (for an office error: the UNO
 * exception's type and message), and corvane_last_error_code() gives its code. No C++
 * exception ever leaves these functions. Call them from one thread at a time (the live
 * table functions excepted: see below); the last error is kept per thread.
 */
#ifndef CORVANE_CORVANE_H
#define CORVANE_CORVANE_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(CORVANE_BUILDING_LIBRARY)
#define CORVANE_C_API __attribute__((visibility("default")))
#else
#define CORVANE_C_API
#endif

/* Number of market-watch columns (A to AP) and so of fields in a record. */
#define CORVANE_COLUMN_COUNT 42

/* Result codes. Success is CORVANE_OK or a non-negative count. */
enum corvane_status {
    CORVANE_OK = 0,
    CORVANE_E_ARGUMENT = -1,      /* a required argument is NULL, empty or out of range */
    CORVANE_E_NOT_CONNECTED = -2, /* no workbook is loaded: call corvane_init first */
    CORVANE_E_CONNECT = -3,       /* no office answered on the pipe */
    CORVANE_E_NO_SHEET = -4,      /* the workbook has no sheet of that name */
    CORVANE_E_OFFICE = -5,   /* the office raised an error (row outside the sheet, office gone) */
    CORVANE_E_SAVE = -6,     /* the copy could not be stored */
    CORVANE_E_INTERNAL = -7, /* anything else (out of memory, ...) */
    CORVANE_E_LOAD = -8,     /* the office answered but the workbook did not load: not a
                                spreadsheet, locked by another office, unreadable */
    CORVANE_E_TIMEOUT = -9,  /* the office did not answer within the deadline */
    CORVANE_E_EXISTS = -10,  /* the file to create exists already (and was left as it is) */
    CORVANE_E_FULL = -11,    /* a new instrument's row would lie past the sheet's last row */
    CORVANE_E_REFUSED = -12  /* the bus server refused: bad or missing credentials, a
                                TLS handshake that failed (an untrusted certificate), no
                                permission for the subject or bucket, a missing bucket,
                                or no JetStream on the server */
};

/* How a column stores its record field (see corvane_column_kind). */
enum corvane_column_kind {
    CORVANE_KIND_TEXT = 0,    /* the field's characters, digits included */
    CORVANE_KIND_INTEGER = 1, /* the field's leading integer as a number */
    CORVANE_KIND_REAL = 2     /* the field's leading decimal number */
};

/* Stores the configuration, starts the office unless one still answers, connects over
 * the pipe "ooo_pipe" and loads the workbook. command_line may be NULL or "" for the
 * default (the quoted office path, -invisible, and the pipe acceptor). Returns the
 * workbook's sheet count (as recorded by the first successful connection),
 * CORVANE_E_CONNECT when no office answered (a newly started office usually needs a
 * later call once it accepts connections, so callers retry for a while on this code),
 * CORVANE_E_LOAD when the office answered but the workbook did not load (missing, not a
 * spreadsheet, unreadable, or locked by a running office), or CORVANE_E_TIMEOUT.
 * A workbook this library loaded before and the office still holds is taken up again
 * instead of loaded a second time; a lock file left beside the workbook by an office
 * that no longer runs is removed (after a warning) and the load tried again. office_path NULL or
 * workbook_path NULL or "" is CORVANE_E_ARGUMENT; an empty office_path starts nothing
 * (after a warning) but still connects to an office that accepts on the pipe. */
CORVANE_C_API int corvane_init(const char* office_path, const char* command_line,
                               const char* workbook_path);

/* Connects to an office that already accepts on the pipe and loads the workbook,
 * without starting anything. Returns the sheet count, CORVANE_E_CONNECT,
 * CORVANE_E_LOAD or CORVANE_E_TIMEOUT, as corvane_init. */
CORVANE_C_API int corvane_connect(const char* workbook_path);

/* How corvane_open_office gets its office. */
typedef struct corvane_office_options {
    int struct_size;          /* sizeof(corvane_office_options), set by the defaults */
    const char* office_path;  /* the office program, started (as corvane_init starts it) when
                                 no office answers; NULL starts nothing (as corvane_connect) */
    const char* command_line; /* NULL or "": the default command line of corvane_init */
    int scratch_profile;      /* non-zero, with no command line: the office runs headless on a
                                 throw-away profile of the library's, removed when
                                 corvane_end_office ends it */
    int wait_ms;              /* how long an office that does not accept yet is waited for,
                                 tried again every 250 ms; 0 (the default): one attempt */
} corvane_office_options;

/* Fills `options` with the defaults: nothing started, one attempt. */
CORVANE_C_API void corvane_office_default_options(corvane_office_options* options);

/* As corvane_init (office_path set) or corvane_connect (office_path NULL), but waits up
 * to wait_ms for an office to accept: one this library started that is still starting,
 * or another that comes up on the pipe (an office this library started that ended
 * meanwhile is started again). Returns the sheet count, or the last attempt's code as
 * corvane_init gives it. A NULL workbook_path loads nothing: CORVANE_OK once an office
 * accepts (for corvane_create_workbook, say). CORVANE_E_ARGUMENT for NULL options, options
 * of another size, or an empty workbook_path. */
CORVANE_C_API int corvane_open_office(const corvane_office_options* options,
                                      const char* workbook_path);

/* From any thread: ends the wait of a corvane_open_office that runs now, which returns
 * its last attempt's result at once. A later call waits as usual. */
CORVANE_C_API void corvane_stop_waiting(void);

/* Ends the offices this library started: when connected, closes their documents unsaved
 * and asks the office to end (as corvane_shutdown_office); then waits up to grace_ms for
 * their processes to end, kills what still runs, and removes a throw-away profile.
 * Returns CORVANE_OK when they ended by themselves, CORVANE_E_TIMEOUT when they had to be
 * killed, CORVANE_E_NOT_CONNECTED when no office this library started runs. */
CORVANE_C_API int corvane_end_office(int grace_ms);

/* From any thread, when the program must end at once: kills the offices this library
 * started and removes a throw-away profile, waiting for nothing else. */
CORVANE_C_API void corvane_kill_office(void);

/* Row functions: `row` is zero-based (row 0 is the sheet's row 1). A NULL or empty
 * sheet name is CORVANE_E_ARGUMENT; no sheet of that name CORVANE_E_NO_SHEET; a row
 * outside the sheet, or an office that no longer answers, CORVANE_E_OFFICE; an office
 * that did not answer within the deadline (see corvane_set_timeout) CORVANE_E_TIMEOUT. */

/* Writes the 42 coloured column titles into row `row` of the sheet. */
CORVANE_C_API int corvane_write_titles(const char* sheet, int row);

/* Writes one record: fields[k] feeds column k (numbers as numbers, texts as texts); a
 * NULL field is an empty field. A NULL array is CORVANE_E_ARGUMENT. */
CORVANE_C_API int corvane_write_record(const char* sheet, int row,
                                       const char* const fields[CORVANE_COLUMN_COUNT]);

/* Empties the 42 cells of one row. */
CORVANE_C_API int corvane_reset_row(const char* sheet, int row);

/* Writes `count` records into the rows first_row, first_row + 1, ... with one sheet
 * lookup and one write per block of up to 1000 rows: records[i] is the field array of
 * row first_row + i, as for corvane_write_record, and a NULL records[i] leaves that row
 * exactly as it is. count 0 writes nothing (the sheet must still exist). A negative
 * count, or NULL records with a positive count, is CORVANE_E_ARGUMENT. A row to be
 * written outside the sheet is CORVANE_E_OFFICE, and then nothing is written. */
CORVANE_C_API int corvane_write_records(const char* sheet, int first_row,
                                        const char* const* const* records, int count);

/* Fast writes, off by default. Non-zero turns the loaded workbook's undo recording and
 * automatic row-height adjustment off (and keeps them off in workbooks loaded later),
 * which makes every write cheaper for the office; the user can then not undo the
 * library's writes, the workbook's undo history is cleared, and record rows keep their
 * height. Zero turns back on what the library turned off. Reports nothing. */
CORVANE_C_API void corvane_set_fast_writes(int enabled);

/* 1 while the office still serves the loaded workbook, 0 otherwise. Waits for the
 * office at most the deadline set with corvane_set_timeout, or 10 seconds when none is
 * set; an office that does not answer by then counts as gone (0), and the next
 * corvane_init connects anew. */
CORVANE_C_API int corvane_is_running(void);

/* The deadline for every call into the office, in milliseconds; 0 (the default) waits
 * as long as the office takes. With a deadline, every function returns within it plus
 * a small margin (corvane_create_workbook included: each of its steps in the office, and
 * each attempt to reach an office it started, has the deadline; its wait_seconds bounds
 * only the wait for such an office to accept): a call that the office does not answer in time (a
 * stopped or hanging office) ends with CORVANE_E_TIMEOUT, the connection is dropped,
 * corvane_is_running answers 0, and the next corvane_init connects anew, taking up the workbook the
 * office still holds. Negative values count as 0. */
CORVANE_C_API void corvane_set_timeout(int milliseconds);

/* The process id of the office this library started (the leader of the process group
 * that holds the office's processes), or 0 when it started none or that office has
 * ended. The office is not a child of the caller: it outlives it, and nothing needs to
 * wait for it. */
CORVANE_C_API int corvane_office_pid(void);

/* Ends the library's connection to the office without ending the office: it keeps
 * running with the workbook open, as at unload. Row functions then give
 * CORVANE_E_NOT_CONNECTED and corvane_is_running 0 until corvane_init or corvane_connect
 * connects again, taking up the workbook the office still holds. For a process that
 * hands the office over to a live table: one connection per process and office, as the
 * UNO runtime shares the office's objects between the connections of one process.
 * Returns CORVANE_OK, also when not connected. */
CORVANE_C_API int corvane_disconnect(void);

/* Removes the lock file ".~lock.<name>#" beside the workbook when it provably belongs
 * to an office that no longer runs (it names this host and user, and the office profile
 * it names is gone or has no office running on it). A lock of a running office, of
 * another host or another user is never touched. Returns 1 when a file was removed, 0
 * when not, CORVANE_E_ARGUMENT for a NULL or empty path. */
CORVANE_C_API int corvane_clear_stale_lock(const char* workbook_path);

/* Stores a copy of the loaded workbook at `path`, in the format its extension names
 * (.ods, .fods, .xlsx, .xls, .csv, .pdf, .html, any letter case); the open document is not
 * changed. A relative path is taken against the current directory; an existing file is
 * replaced. .csv holds the active sheet only (comma-separated, UTF-8). An unknown
 * extension is CORVANE_E_ARGUMENT, a missing folder or a refused write
 * CORVANE_E_SAVE. */
CORVANE_C_API int corvane_save_copy(const char* path);

/* Options of corvane_create_workbook. Zero-initialise the struct and set what you
 * need; a NULL options pointer means all defaults. */
typedef struct corvane_workbook_options {
    /* Non-zero: column AQ, right of AP, is titled "Updated" and formatted as a time of
     * day with milliseconds, for each row's last update time. 0: the 42 columns only. */
    int row_times;
    /* The office to start when none accepts on the pipe: NULL or "" for the one given
     * to corvane_init, else the office the library was built for. */
    const char* office_path;
    /* How to start it: NULL or "" for the command line given to corvane_init with that
     * office, else the default (the quoted office path, -invisible, the pipe acceptor). */
    const char* command_line;
    /* How long to wait for an office this call starts to accept; 0 or less: 60 s. */
    double wait_seconds;
} corvane_workbook_options;

/* Creates a market-watch workbook at `path` with `count` sheets named sheet_names[0]
 * to sheet_names[count - 1], in the format the extension names: .ods, .xlsx or .fods
 * (any letter case). Each sheet gets the coloured title row in row 1, frozen together
 * with columns A and B, and an autofilter over its columns; number formats per column
 * (prices and other reals with two decimals and a thousands separator, quantities,
 * volume and open interest with a thousands separator and no decimals, the scrip code
 * as a plain integer, %Change with two decimals in green above 0 and red below, yields
 * with two decimals), text left- and numbers right-aligned; column widths that fit the
 * titles and typical values; and a landscape print setup scaled to two pages across
 * with the title row and columns A and B on every page. The formats are cell
 * attributes: the row functions keep them. The workbook is not loaded: call corvane_init
 * or corvane_connect with it next.
 *
 * The office used is the connected one, else one that accepts on the pipe, else one
 * started for the call as corvane_init starts one (see corvane_workbook_options); that
 * office keeps running, and corvane_init or corvane_connect use it next.
 * Returns CORVANE_OK; CORVANE_E_EXISTS when anything exists at `path` (it is left as it
 * was); CORVANE_E_ARGUMENT for a NULL or empty path, another extension, a count outside
 * 1 to 256, or a sheet name that is NULL, empty, given twice (in any letter case), holds
 * one of []*?:/\ or begins or ends with an apostrophe; CORVANE_E_SAVE when the folder
 * does not exist or the office cannot write there; CORVANE_E_CONNECT or
 * CORVANE_E_TIMEOUT when no office could be reached; CORVANE_E_TIMEOUT when the office
 * did not answer within the deadline of corvane_set_timeout (the connection is then
 * dropped, as for the row functions); CORVANE_E_OFFICE for an office
 * error while the workbook is made. */
CORVANE_C_API int corvane_create_workbook(const char* path, const char* const* sheet_names,
                                          int count, const corvane_workbook_options* options);

/* Closes the workbooks open in the connected office without saving and ends the
 * office, waiting (up to 10 seconds) until the office has closed its connection; its
 * process exits moments later. The library then holds no workbook: call corvane_init
 * again to go on (retrying, as after any start). Returns CORVANE_OK, CORVANE_E_NOT_CONNECTED, or
 * CORVANE_E_OFFICE when the office is gone already or refused to end. */
CORVANE_C_API int corvane_shutdown_office(void);

/* ---- Live tables ------------------------------------------------------------------
 * A live table keeps a market watch current on its own: the host puts each tick and
 * returns at once, and a writer thread of the table writes every changed row with its
 * newest tick each interval, in blocks planned by their measured cost. The table keeps
 * the newest fields of every instrument, so when the office goes away (killed, crashed,
 * the workbook closed by the user) or stops answering within the call deadline, it gets
 * an office again (an owned office is killed by its own process group and started anew,
 * an attached one is waited for with a backoff of 0.25 s doubling to 5 s), loads the
 * workbook again or takes up its open copy, and writes the titles and every
 * instrument's newest row again. The host sees this only in the statistics and the
 * optional state callback. Every function of a table may be called from any thread, also
 * while another thread closes it.
 *
 * A table's handle is checked on every call: a handle that corvane_live_close has
 * closed (or is closing on another thread), or one this library never handed out, gets
 * CORVANE_E_NOT_CONNECTED and touches no memory of any table; a closed table's handle
 * never names a later table. The library owns and frees everything behind a handle:
 * the caller frees nothing and only stops using the handle after closing it.
 *
 * Rows stay put: before the table writes into a sheet (when it connects, and after every
 * reconnection) it reads the sheet's key columns (A exchange, C scrip code), and every
 * instrument found there keeps its row; a new instrument takes the first row after the
 * last one used, and a row whose instrument has not ticked is never written. A block is
 * written only where its rows still hold their own instruments in the key columns (or
 * nothing), checked and written in one step on the office's main thread: rows that the
 * user sorted, moved or typed over are never written over. A write that finds such a
 * change writes nothing; the table reads the key columns again, follows the rows and
 * rewrites them (and reads the key columns every two seconds besides). With sheet_per_exchange, an exchange whose sheet the workbook
 * lacks gets a new sheet with the market-watch look; where the workbook takes none,
 * that exchange's ticks are refused (CORVANE_E_NO_SHEET, counted in ticks_refused) and
 * everything else is written as usual. */

typedef struct corvane_live corvane_live;

/* Table states. */
enum corvane_live_state {
    CORVANE_LIVE_CONNECTING = 0, /* the first connection is being made */
    CORVANE_LIVE_LIVE = 1,       /* rows are being written */
    CORVANE_LIVE_RECOVERING = 2, /* the office went away or is stuck: getting one again */
    CORVANE_LIVE_FAILED = 3      /* for good (the workbook did not load, ...): see last_status */
};

/* Options of corvane_live_open: fill them with corvane_live_default_options, then set
 * what you need. */
typedef struct corvane_live_options {
    int struct_size;           /* sizeof(corvane_live_options), set by the defaults */
    const char* workbook_path; /* required: the workbook to write into */
    const char* sheet;         /* the one sheet; unused with sheet_per_exchange */
    int sheet_per_exchange;    /* non-zero: each instrument goes to the sheet named by its
                                  exchange (field 0) */
    int first_row;             /* zero-based row of a sheet's first instrument; default 1 */
    int titles;                /* non-zero (default): the 42 titles in the row above first_row */
    int interval_ms;           /* least time between two writes of the changed rows; default
                                  100; 0 writes as soon as anything changed */
    int call_timeout_ms;       /* deadline of one office call; default 5000 (also for 0) */
    int own_office;            /* non-zero: the table starts an office and owns it (ending
                                  it at close); 0 (default): it attaches to the office that
                                  accepts on the pipe "ooo_pipe", waiting for one */
    const char* office_path;   /* owned: the office program; NULL for the installation the
                                  library was built for */
    const char* profile_dir;   /* owned: the office's profile folder; NULL for a throw-away
                                  one, removed at close */
    int show_office;           /* owned: non-zero starts it --invisible (workbook windows show
                                  on a display), 0 (default) --headless */
    int fast_writes;           /* non-zero: undo recording and row-height adjustment off in
                                  the workbook (see corvane_set_fast_writes); an owned office
                                  that is not shown has them off anyway: nobody works in it */
    int row_times;             /* non-zero: each row's last update (the put of its newest
                                  tick, local time) as a date-time number in the column right
                                  of AP (see corvane_workbook_options.row_times) */
    int open_wait_ms;          /* > 0: corvane_live_open waits up to this long for the table to
                                  be live and fails otherwise; 0 (default): it does not wait */
    int load_timeout_ms;       /* deadline of loading the workbook; 0: 120000 (the default) */
    int save_timeout_ms;       /* deadline of storing a copy (corvane_live_save_copy); 0:
                                  120000 (the default) */
    int clean_sheet;           /* non-zero: the values found in a sheet's market-watch rows
                                  (from first_row down) are emptied when the table connects,
                                  and the instruments take the rows in the order they come;
                                  0 (default): instruments found in the sheet keep their rows */
} corvane_live_options;

/* Statistics of a table. Durations are milliseconds over a sliding window of the
 * recent flushes (flush) and rows written with a new tick (staleness: from the first
 * put of a tick not yet in the sheet to the end of the block that wrote it). */
typedef struct corvane_live_stats {
    int struct_size; /* set to sizeof(corvane_live_stats) before the call */
    int state;       /* a corvane_live_state */
    unsigned long long ticks_put;
    unsigned long long ticks_replaced; /* replaced by a newer tick before being written */
    unsigned long long rows_written;   /* rows sent in blocks, merged gaps and rewrites included */
    unsigned long long block_calls;
    unsigned long long title_rows_written;
    unsigned long long instruments;
    unsigned long long restarts;   /* offices started anew after a loss */
    unsigned long long reconnects; /* connections made again to a running office */
    double ticks_per_second;       /* put, over the last second or more (since the
                                      previous statistics at least 1 s old) */
    double rows_per_second;        /* written, over the same time */
    double staleness_p50_ms, staleness_p99_ms, staleness_max_ms;
    double flush_p50_ms, flush_p99_ms, flush_max_ms;
    double call_cost_ms, row_cost_ms; /* the current estimate of a block call's cost */
    int office_pid;                   /* the owned office's process id now, or 0 */
    int last_status;                  /* CORVANE_E_* of the last failure; 0 when none */
    char last_message[256];           /* the last failure in words; "" when none */
    unsigned long long ticks_refused; /* ticks of instruments with no row: their exchange's
                                         sheet is missing and none could be added, or their
                                         sheet is full */
    unsigned long long rows_adopted;  /* instruments found in the sheet and kept in their rows */
    unsigned long long reorders;      /* times rows were found moved (sorted by the user, say)
                                         and the instruments followed them */
    unsigned long long key_reads;     /* readings of the key columns */
    double key_read_ms;               /* time spent reading key columns and placing rows */
    double office_ms;                 /* time spent in every call into the office */
    unsigned long long cells_written; /* the cells rows_written were sent in: a row counts in
                                         rows_written once, in the columns that changed */
} corvane_live_stats;

/* Called on the table's writer thread whenever the state changes, with the last
 * failure's code and text (valid during the call). It must return soon and must not
 * call corvane_live_flush, corvane_live_save_copy or corvane_live_close on its table:
 * they return CORVANE_E_ARGUMENT there and change nothing (the table stays open, to be
 * closed from another thread). */
typedef void (*corvane_live_state_callback)(void* user, int state, int last_status,
                                            const char* last_message);

/* The default options: first row 1 with titles, 100 ms interval, 5 s call deadline, an
 * attached office, no fast writes, no row times. */
CORVANE_C_API void corvane_live_default_options(corvane_live_options* options);

/* Opens a live table and starts its writer thread, which connects (owned: starts the
 * office first). Returns the table, or NULL with corvane_last_error_code and
 * corvane_last_error telling why:
 * - CORVANE_E_ARGUMENT for options that cannot work, the option's field named in the
 *   text: options not filled by corvane_live_default_options, no workbook_path, no
 *   sheet (without sheet_per_exchange) or a sheet name no office takes, a first_row
 *   outside the sheet, titles with first_row 0 (no row above), a negative interval_ms,
 *   call_timeout_ms or open_wait_ms;
 * - CORVANE_E_LOAD when workbook_path does not exist;
 * - with open_wait_ms, a table that did not become live in time (the table is closed
 *   again): the failure's code (CORVANE_E_CONNECT, CORVANE_E_OFFICE, ...) when it failed
 *   for good, else CORVANE_E_TIMEOUT.
 * `callback` may be NULL. */
CORVANE_C_API corvane_live* corvane_live_open(const corvane_live_options* options,
                                              corvane_live_state_callback callback, void* user);

/* corvane_live_open returning its result code: CORVANE_OK with the table in `*table`,
 * or the code corvane_live_open would leave in corvane_last_error_code, with `*table`
 * NULL. A NULL `table` is CORVANE_E_ARGUMENT. */
CORVANE_C_API int corvane_live_create(const corvane_live_options* options,
                                      corvane_live_state_callback callback, void* user,
                                      corvane_live** table);

/* Takes the newest tick of an instrument (fields as for corvane_write_record), keyed by
 * exchange and scrip code (fields 0 and 2; "nse" is the exchange, and the sheet, of
 * "NSE", as the office finds sheets whatever the case); a new instrument takes the next
 * free row of its sheet. Copies the fields and returns: it never waits for the office.
 * Returns CORVANE_OK; CORVANE_E_ARGUMENT for a NULL table or fields or a missing key;
 * CORVANE_E_FULL when a new instrument's row lies past the sheet's end;
 * CORVANE_E_NO_SHEET when its exchange has no sheet and the workbook took none;
 * CORVANE_E_NOT_CONNECTED after close began. */
CORVANE_C_API int corvane_live_put(corvane_live* table,
                                   const char* const fields[CORVANE_COLUMN_COUNT]);

/* Waits until everything put before the call is in the sheet, at most timeout_ms
 * (negative: without end). CORVANE_OK when it is; CORVANE_E_TIMEOUT when the time ran
 * out (a slow, stuck or lost office: see the statistics); the last failure's code when
 * the office refused rows (they are tried again) or the table failed for good. */
CORVANE_C_API int corvane_live_flush(corvane_live* table, int timeout_ms);

/* Flushes (at most timeout_ms), then stores a copy of the table's workbook at `path` in
 * the format its extension names, as corvane_save_copy does. CORVANE_OK, the flush's
 * failure, CORVANE_E_ARGUMENT (an unknown extension), CORVANE_E_SAVE,
 * CORVANE_E_NOT_CONNECTED / CORVANE_E_TIMEOUT while the office is away, or
 * CORVANE_E_CONNECT when it went away during the save. */
CORVANE_C_API int corvane_live_save_copy(corvane_live* table, const char* path, int timeout_ms);

/* The table's statistics into *stats (stats->struct_size set by the caller; a smaller,
 * older struct gets its fields only). CORVANE_OK or CORVANE_E_ARGUMENT. */
CORVANE_C_API int corvane_live_get_stats(corvane_live* table, corvane_live_stats* stats);

/* Refuses further ticks, waits up to timeout_ms (negative: without end) for everything
 * put to be written, ends the writer thread (cutting off an office call still running),
 * ends an owned office (its workbook closed unsaved: store what should stay with
 * corvane_live_save_copy first) and frees the table, once the calls other threads are
 * making on it have returned. An attached office keeps the workbook open as the table
 * left it. Returns as corvane_live_flush; CORVANE_E_NOT_CONNECTED for a table closed
 * already (or being closed by another thread); CORVANE_E_ARGUMENT for a NULL table,
 * and from the table's own state callback, where nothing is closed. */
CORVANE_C_API int corvane_live_close(corvane_live* table, int timeout_ms);

/* The title of column `index` (0 to 41, line feeds included), or NULL. */
CORVANE_C_API const char* corvane_column_title(int index);

/* How column `index` (0 to 41) stores its field: one of CORVANE_KIND_*, or
 * CORVANE_E_ARGUMENT for an index outside the columns. */
CORVANE_C_API int corvane_column_kind(int index);

/* Where configuration warnings go; NULL restores the default (standard error). */
typedef void (*corvane_warning_handler)(const char* text, void* user);
CORVANE_C_API void corvane_set_warning_handler(corvane_warning_handler handler, void* user);

/* The calling thread's description of its last failure ("" when none); a successful
 * call leaves it as it was. Valid until the thread's next call into the library. */
CORVANE_C_API const char* corvane_last_error(void);

/* The code (a CORVANE_E_*) of the failure corvane_last_error describes; CORVANE_OK
 * before the thread's first failure. For calls that report failure otherwise, such as
 * corvane_live_open's NULL. */
CORVANE_C_API int corvane_last_error_code(void);

/* ---- Bus publishing ---------------------------------------------------------------
 * A publisher sends market-watch records to a NATS server: each instrument's record, as
 * one CSV line of its 42 fields, on the subject <prefix>.<exchange>.<scrip code> and,
 * with a bucket, into that JetStream key-value bucket under the key
 * <exchange>.<scrip code>, where a desk that starts later finds every instrument's last
 * record. In subjects and keys the exchange and scrip code (without surrounding blanks)
 * keep letters, digits and -_/; any other byte is written =XX (its two upper-case hex
 * digits), an empty one "=". corvane_publish only queues the record: a thread of the
 * publisher makes every network call, so a slow or absent server never holds the caller.
 * The queue keeps each instrument's newest record; while it holds max_pending other
 * instruments, a new instrument's tick is dropped and counted. The publisher reconnects
 * by itself, without end. Its functions may be called from any thread, but not after
 * (or while) corvane_publisher_close frees it. */

typedef struct corvane_publisher corvane_publisher;

/* Options of corvane_publisher_open: fill them with corvane_publisher_default_options,
 * then set what you need. Strings are copied; NULL and "" are the default. */
typedef struct corvane_publisher_options {
    int struct_size;    /* sizeof(corvane_publisher_options), set by the defaults */
    const char* url;    /* nats://host:port, or a comma-separated list; default
                           nats://127.0.0.1:4222 */
    const char* prefix; /* first subject token(s); default "md" */
    const char* bucket; /* key-value bucket, created (history 1) when missing; default
                           none */
    const char* user;   /* user name and password */
    const char* password;
    const char* token;       /* token credential */
    const char* creds_file;  /* credentials file (JWT and seed) */
    const char* ca_file;     /* CA certificate file: connects over TLS */
    const char* client_name; /* the name the server shows; default "corvane" */
    int connect_timeout_ms;  /* deadline of connecting and of a bucket call; default 2000 */
    int max_pending;         /* most instruments queued; default 100000 */
} corvane_publisher_options;

typedef struct corvane_publisher_stats {
    int struct_size;               /* set to sizeof(corvane_publisher_stats) before the call */
    unsigned long long published;  /* records sent (with a bucket: and stored) */
    unsigned long long dropped;    /* ticks dropped because the queue was full */
    unsigned long long reconnects; /* connections made again after the server went away */
    int connected;                 /* non-zero while connected */
    unsigned long long replaced;   /* ticks replaced in the queue by a newer tick of their
                                      instrument before they were sent */
} corvane_publisher_stats;

/* The default options: the local server, prefix "md", no bucket, no credentials. */
CORVANE_C_API void corvane_publisher_default_options(corvane_publisher_options* options);

/* Connects and, with a bucket, opens or creates it. Returns the publisher, or NULL with
 * corvane_last_error_code and corvane_last_error telling why: CORVANE_E_ARGUMENT for
 * options not filled by corvane_publisher_default_options, a prefix with blanks or
 * wildcards, a bad bucket name or a negative number; CORVANE_E_CONNECT when no server
 * answered; CORVANE_E_REFUSED when the server refused the credentials or the bucket (or
 * has no JetStream), or the TLS handshake failed; CORVANE_E_TIMEOUT. */
CORVANE_C_API corvane_publisher* corvane_publisher_open(const corvane_publisher_options* options);

/* Queues an instrument's record (fields as for corvane_write_record; a NULL field is
 * empty), keyed by exchange and scrip code (fields 0 and 2). Never waits for the server.
 * CORVANE_OK (also for a tick dropped because the queue is full: see the statistics);
 * CORVANE_E_ARGUMENT for a NULL publisher or fields, or an empty exchange or scrip code. */
CORVANE_C_API int corvane_publish(corvane_publisher* publisher,
                                  const char* const fields[CORVANE_COLUMN_COUNT]);

/* Waits until every record queued before the call is sent (with a bucket: stored), at
 * most timeout_ms (negative: without end). CORVANE_OK, CORVANE_E_TIMEOUT (the server is
 * slow or away), or CORVANE_E_ARGUMENT for a NULL publisher. */
CORVANE_C_API int corvane_publisher_flush(corvane_publisher* publisher, int timeout_ms);

/* The publisher's statistics into *stats (stats->struct_size set by the caller; a
 * smaller, older struct gets its fields only). CORVANE_OK or CORVANE_E_ARGUMENT. */
CORVANE_C_API int corvane_publisher_get_stats(corvane_publisher* publisher,
                                              corvane_publisher_stats* stats);

/* Waits up to timeout_ms (negative: without end) for the queued records to be sent,
 * then disconnects and frees the publisher, also when they were not all sent. Returns as
 * corvane_publisher_flush; CORVANE_E_ARGUMENT for a NULL publisher. */
CORVANE_C_API int corvane_publisher_close(corvane_publisher* publisher, int timeout_ms);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_CORVANE_H */
