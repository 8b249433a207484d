// A stand-in fbclient.dll for the loader's checks under Wine (tests/platform):
// a 64-bit Windows DLL with every function the program looks up, placed
// where a check needs one that loads. Nothing that claims synchronisation
// uses it: those checks reach the private Firebird server through the bridge
// (fbclient_bridge.c). Every attachment succeeds; the one query answers one
// integer column COM_NUMERO whose rows are the numbers listed, one a line, in
// comandas.txt beside this DLL.
#include <ibase.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<ISC_LONG> rows;
size_t next = 0;

void ok(ISC_STATUS *status)
{
    status[0] = 1;
    status[1] = 0;
    status[2] = isc_arg_end;
}

std::wstring besideThisDll(const wchar_t *name)
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&besideThisDll), &self);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

} // namespace

extern "C" {

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS *status, short, const ISC_SCHAR *, isc_db_handle *db, short,
                                          const ISC_SCHAR *)
{
    *db = 1;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS *status, isc_db_handle *db)
{
    *db = 0;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS *status, isc_tr_handle *tr, short, ...)
{
    *tr = 1;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS *status, isc_tr_handle *tr)
{
    *tr = 0;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS *status, isc_tr_handle *tr)
{
    *tr = 0;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS *status, isc_db_handle *, isc_stmt_handle *stmt)
{
    *stmt = 1;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS *status, isc_stmt_handle *, unsigned short, XSQLDA *da)
{
    da->sqld = 1;
    XSQLVAR &var = da->sqlvar[0];
    var.sqltype = SQL_LONG;
    var.sqlscale = 0;
    var.sqllen = sizeof(ISC_LONG);
    std::strcpy(var.aliasname, "COM_NUMERO");
    var.aliasname_length = 10;
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS *status, isc_tr_handle *, isc_stmt_handle *stmt, unsigned short,
                                       const ISC_SCHAR *, unsigned short dialect, XSQLDA *da)
{
    return isc_dsql_describe(status, stmt, dialect, da);
}

ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS *status, isc_tr_handle *, isc_stmt_handle *, unsigned short,
                                       const XSQLDA *)
{
    rows.clear();
    next = 0;
    std::ifstream in(besideThisDll(L"comandas.txt").c_str());
    for (long number; in >> number;)
        rows.push_back(static_cast<ISC_LONG>(number));
    ok(status);
    return 0;
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS *status, isc_stmt_handle *, unsigned short, const XSQLDA *da)
{
    ok(status);
    if (next >= rows.size())
        return 100;
    std::memcpy(da->sqlvar[0].sqldata, &rows[next++], sizeof(ISC_LONG));
    if (da->sqlvar[0].sqlind)
        *da->sqlvar[0].sqlind = 0;
    return 0;
}

ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short option)
{
    if (option == DSQL_drop)
        *stmt = 0;
    ok(status);
    return 0;
}

void ISC_EXPORT isc_decode_sql_date(const ISC_DATE *, void *) {}
void ISC_EXPORT isc_decode_timestamp(const ISC_TIMESTAMP *, void *) {}

ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR *buffer, unsigned int, const ISC_STATUS **)
{
    buffer[0] = 0;
    return 0;
}

ISC_STATUS ISC_EXPORT fb_cancel_operation(ISC_STATUS *status, isc_db_handle *, ISC_USHORT)
{
    ok(status);
    return 0;
}

} // extern "C"
