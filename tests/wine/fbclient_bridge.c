/* A Windows fbclient.dll for the Wine checks that forwards every call to the
 * native Firebird client of this machine (libfbclient.so.2), so that the
 * Windows program talks to the private Firebird server through its own
 * loader and calling convention. Test equipment: never shipped.
 *
 * Built by scripts/wine-env.sh (wine_fbclient_bridge) with the host compiler
 * and winegcc; Wine loads the resulting ELF file as a builtin DLL when it is
 * copied beside the program as fbclient.dll.
 *
 * What differs between the two sides and is bridged here: the calling
 * convention (ms_abi on the exports), C varargs (isc_start_transaction),
 * struct tm (36 bytes on Windows, 56 with glibc), and the native client's own
 * SIGINT/SIGTERM handlers, which would swallow the signals Wine turns into
 * the Windows program's console and session events. Handles, ISC_STATUS,
 * ISC_LONG and XSQLDA have the same layout on both sides. */
#include <ibase.h>

#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#define WINAPI __attribute__((ms_abi))

static void *native;

#define NATIVE(name) static __typeof__(&name) n_##name;
NATIVE(isc_attach_database)
NATIVE(isc_detach_database)
NATIVE(isc_start_multiple)
NATIVE(isc_commit_transaction)
NATIVE(isc_rollback_transaction)
NATIVE(isc_dsql_allocate_statement)
NATIVE(isc_dsql_prepare)
NATIVE(isc_dsql_describe)
NATIVE(isc_dsql_execute)
NATIVE(isc_dsql_fetch)
NATIVE(isc_dsql_free_statement)
NATIVE(isc_decode_sql_date)
NATIVE(isc_decode_timestamp)
NATIVE(fb_interpret)
NATIVE(fb_cancel_operation)
NATIVE(isc_get_client_version)

static int load_native(void)
{
    const char *file = "libfbclient.so.2";
    native = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!native) {
        fprintf(stderr, "fbclient bridge: cannot load the native Firebird client %s: %s\n", file, dlerror());
        return 0;
    }
#define FIND(name)                                                                                   \
    if (!(n_##name = (__typeof__(n_##name))dlsym(native, #name))) {                                \
        fprintf(stderr, "fbclient bridge: %s lacks %s\n", file, #name);                             \
        return 0;                                                                                    \
    }
    FIND(isc_attach_database)
    FIND(isc_detach_database)
    FIND(isc_start_multiple)
    FIND(isc_commit_transaction)
    FIND(isc_rollback_transaction)
    FIND(isc_dsql_allocate_statement)
    FIND(isc_dsql_prepare)
    FIND(isc_dsql_describe)
    FIND(isc_dsql_execute)
    FIND(isc_dsql_fetch)
    FIND(isc_dsql_free_statement)
    FIND(isc_decode_sql_date)
    FIND(isc_decode_timestamp)
    FIND(fb_interpret)
    FIND(fb_cancel_operation)
    FIND(isc_get_client_version)
    return 1;
}

/* Wine's own SIGINT/SIGTERM handlers, as they were when the bridge loaded:
 * the native client installs its own on its first attachment. They are put
 * back after every attach, and before one too, in case an earlier attach
 * never returned. No lock: an attach to a silent server may never return. */
static struct sigaction wine_int, wine_term;

static void restore_wine_signals(void)
{
    sigaction(SIGINT, &wine_int, NULL);
    sigaction(SIGTERM, &wine_term, NULL);
}

/* A bridge that cannot reach the native client refuses to load, so the
 * program's loader reports it instead of a call failing later. */
int WINAPI DllMain(void *instance, unsigned reason, void *reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != 1 /* DLL_PROCESS_ATTACH */)
        return 1;
    sigaction(SIGINT, NULL, &wine_int);
    sigaction(SIGTERM, NULL, &wine_term);
    return load_native();
}

ISC_STATUS WINAPI b_attach_database(ISC_STATUS *status, short length, const ISC_SCHAR *name, isc_db_handle *db,
                                    short dpb_length, const ISC_SCHAR *dpb)
{
    restore_wine_signals();
    const ISC_STATUS result = n_isc_attach_database(status, length, name, db, dpb_length, dpb);
    restore_wine_signals();
    return result;
}

ISC_STATUS WINAPI b_detach_database(ISC_STATUS *status, isc_db_handle *db)
{
    return n_isc_detach_database(status, db);
}

/* One transaction over up to 16 databases: (isc_db_handle *, length, tpb)
 * triples in Windows' variadic slots. */
ISC_STATUS WINAPI b_start_transaction(ISC_STATUS *status, isc_tr_handle *tr, short count, ...)
{
    struct {
        isc_db_handle *db;
        int tpb_length;
        const char *tpb;
    } teb[16];
    if (count < 1 || count > 16) {
        status[0] = isc_arg_gds;
        status[1] = isc_bad_teb_form;
        status[2] = isc_arg_end;
        return status[1];
    }
    __builtin_ms_va_list args;
    __builtin_ms_va_start(args, count);
    for (short i = 0; i < count; ++i) {
        teb[i].db = __builtin_va_arg(args, isc_db_handle *);
        /* A short or int, promoted to int; the slot's upper half is undefined. */
        teb[i].tpb_length = __builtin_va_arg(args, int);
        teb[i].tpb = __builtin_va_arg(args, const char *);
    }
    __builtin_ms_va_end(args);
    return n_isc_start_multiple(status, tr, count, teb);
}

ISC_STATUS WINAPI b_commit_transaction(ISC_STATUS *status, isc_tr_handle *tr)
{
    return n_isc_commit_transaction(status, tr);
}

ISC_STATUS WINAPI b_rollback_transaction(ISC_STATUS *status, isc_tr_handle *tr)
{
    return n_isc_rollback_transaction(status, tr);
}

ISC_STATUS WINAPI b_dsql_allocate_statement(ISC_STATUS *status, isc_db_handle *db, isc_stmt_handle *stmt)
{
    return n_isc_dsql_allocate_statement(status, db, stmt);
}

ISC_STATUS WINAPI b_dsql_prepare(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short length,
                                 const ISC_SCHAR *sql, unsigned short dialect, XSQLDA *da)
{
    return n_isc_dsql_prepare(status, tr, stmt, length, sql, dialect, da);
}

ISC_STATUS WINAPI b_dsql_describe(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short version, XSQLDA *da)
{
    return n_isc_dsql_describe(status, stmt, version, da);
}

ISC_STATUS WINAPI b_dsql_execute(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short version,
                                 const XSQLDA *da)
{
    return n_isc_dsql_execute(status, tr, stmt, version, da);
}

ISC_STATUS WINAPI b_dsql_fetch(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short version, const XSQLDA *da)
{
    return n_isc_dsql_fetch(status, stmt, version, da);
}

ISC_STATUS WINAPI b_dsql_free_statement(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short option)
{
    return n_isc_dsql_free_statement(status, stmt, option);
}

/* Windows' struct tm is glibc's first nine ints, without the tail. */
enum { WINDOWS_TM_BYTES = 9 * sizeof(int) };

void WINAPI b_decode_sql_date(const ISC_DATE *date, void *windows_tm)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    n_isc_decode_sql_date(date, &t);
    memcpy(windows_tm, &t, WINDOWS_TM_BYTES);
}

void WINAPI b_decode_timestamp(const ISC_TIMESTAMP *stamp, void *windows_tm)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    n_isc_decode_timestamp(stamp, &t);
    memcpy(windows_tm, &t, WINDOWS_TM_BYTES);
}

ISC_LONG WINAPI b_interpret(ISC_SCHAR *buffer, unsigned int size, const ISC_STATUS **vector)
{
    return n_fb_interpret(buffer, size, vector);
}

ISC_STATUS WINAPI b_cancel_operation(ISC_STATUS *status, isc_db_handle *db, ISC_USHORT option)
{
    return n_fb_cancel_operation(status, db, option);
}

void WINAPI b_get_client_version(char *buffer)
{
    n_isc_get_client_version(buffer);
}
