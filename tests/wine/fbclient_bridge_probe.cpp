// Proves, under Wine, that the bridge fbclient.dll beside it is a Firebird
// client the Windows program can use: found by the program's own loader,
// attached to the private server, a query run and fetched, a timestamp
// decoded into Windows' struct tm, a running statement cancelled from another
// thread, a refused login read from its status vector. Prints one line per
// step and "bridge probe: OK" at the end; any failure ends it with status 1.
//
//   fbclient_bridge_probe <host>/<port>:<database> <SYSDBA password>
#include "erp/fb_library.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

namespace {

const platform::FbClientFunctions *fb = nullptr;

[[noreturn]] void Fail(const std::string &what, const ISC_STATUS *status = nullptr)
{
    std::string text;
    if (status) {
        char line[512];
        const ISC_STATUS *cursor = status;
        while (fb->interpret(line, sizeof line, &cursor))
            text += std::string(" / ") + line;
    }
    std::printf("bridge probe: FAILED: %s%s\n", what.c_str(), text.c_str());
    std::fflush(stdout);
    std::exit(1);
}

std::string Dpb(const std::string &password)
{
    std::string dpb(1, char(isc_dpb_version1));
    for (auto [tag, value] : {std::pair<char, std::string>{char(isc_dpb_user_name), "SYSDBA"},
                              {char(isc_dpb_password), password}}) {
        dpb += tag;
        dpb += char(value.size());
        dpb += value;
    }
    return dpb;
}

isc_db_handle Attach(const std::string &database, const std::string &password, ISC_STATUS *status)
{
    const std::string dpb = Dpb(password);
    isc_db_handle db = 0;
    fb->attach_database(status, 0, database.c_str(), &db, short(dpb.size()), dpb.data());
    return db;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::printf("usage: fbclient_bridge_probe <host>/<port>:<database> <password>\n");
        return 2;
    }
    const platform::FbClientLoad &load = platform::FbClient();
    if (!load.loaded) {
        std::printf("bridge probe: FAILED: the program's loader did not load fbclient.dll: %s\n", load.error.c_str());
        return 1;
    }
    fb = &load.functions;
    std::printf("bridge probe: loaded %s (%s)\n", load.path.c_str(), load.version.c_str());
    if (load.version.empty())
        Fail("the client does not say its version");

    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    isc_db_handle db = Attach(argv[1], argv[2], status);
    if (status[0] == 1 && status[1])
        Fail("attach", status);
    isc_tr_handle tr = 0;
    const char tpb[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
    fb->start_transaction(status, &tr, 1, &db, static_cast<unsigned short>(sizeof tpb), tpb);
    if (status[0] == 1 && status[1])
        Fail("start transaction", status);

    // Two columns: the tab numbers, and the server's clock through Windows' tm.
    alignas(8) char buffer[XSQLDA_LENGTH(2)] = {};
    XSQLDA *da = reinterpret_cast<XSQLDA *>(buffer);
    da->version = SQLDA_VERSION1;
    da->sqln = 2;
    isc_stmt_handle stmt = 0;
    fb->dsql_allocate_statement(status, &db, &stmt);
    const char sql[] = "SELECT COM_NUMERO, CAST('2026-12-10 17:45:30' AS TIMESTAMP) FROM COMANDAS WHERE COM_TOTAL > 0";
    fb->dsql_prepare(status, &tr, &stmt, 0, sql, SQL_DIALECT_V6, da);
    if (status[0] == 1 && status[1])
        Fail("prepare", status);
    ISC_LONG number = 0;
    ISC_TIMESTAMP stamp = {};
    short nulls[2] = {};
    da->sqlvar[0].sqldata = reinterpret_cast<char *>(&number);
    da->sqlvar[0].sqlind = &nulls[0];
    da->sqlvar[1].sqldata = reinterpret_cast<char *>(&stamp);
    da->sqlvar[1].sqlind = &nulls[1];
    fb->dsql_execute(status, &tr, &stmt, SQL_DIALECT_V6, nullptr);
    if (status[0] == 1 && status[1])
        Fail("execute", status);
    std::string numbers;
    int rows = 0;
    while (fb->dsql_fetch(status, &stmt, SQL_DIALECT_V6, da) == 0)
        numbers += (rows++ ? " " : "") + std::to_string(number);
    if (rows == 0)
        Fail("no open tab in COMANDAS");
    std::printf("bridge probe: %d rows fetched (%s)\n", rows, numbers.c_str());
    // Windows' tm is 36 bytes; a decode that wrote glibc's 56 would reach the guard.
    struct {
        std::tm t;
        char guard[32];
    } decoded;
    std::memset(&decoded, 0x5a, sizeof decoded);
    fb->decode_timestamp(&stamp, &decoded.t);
    for (char c : decoded.guard)
        if (c != 0x5a)
            Fail("isc_decode_timestamp wrote past Windows' struct tm");
    if (decoded.t.tm_year != 126 || decoded.t.tm_mon != 11 || decoded.t.tm_mday != 10 || decoded.t.tm_hour != 17
        || decoded.t.tm_min != 45 || decoded.t.tm_sec != 30)
        Fail("the timestamp decoded wrong");
    std::printf("bridge probe: timestamp decoded into Windows' struct tm\n");
    fb->dsql_free_statement(status, &stmt, DSQL_drop);
    fb->commit_transaction(status, &tr);
    if (status[0] == 1 && status[1])
        Fail("commit", status);

    // A statement that would run for minutes, cancelled from another thread.
    fb->start_transaction(status, &tr, 1, &db, static_cast<unsigned short>(sizeof tpb), tpb);
    stmt = 0;
    fb->dsql_allocate_statement(status, &db, &stmt);
    const char slow[] = "EXECUTE BLOCK AS DECLARE i BIGINT = 0; BEGIN WHILE (i < 10000000000) DO i = i + 1; END";
    fb->dsql_prepare(status, &tr, &stmt, 0, slow, SQL_DIALECT_V6, nullptr);
    if (status[0] == 1 && status[1])
        Fail("prepare the slow statement", status);
    ISC_STATUS runStatus[ISC_STATUS_LENGTH] = {};
    const auto cancelStart = std::chrono::steady_clock::now();
    std::thread runner([&] { fb->dsql_execute(runStatus, &tr, &stmt, SQL_DIALECT_V6, nullptr); });
    Sleep(500);
    ISC_STATUS cancelStatus[ISC_STATUS_LENGTH] = {};
    fb->cancel_operation(cancelStatus, &db, fb_cancel_raise);
    runner.join();
    const auto cancelMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - cancelStart).count();
    if (runStatus[1] != isc_cancelled)
        Fail("the slow statement was not cancelled", runStatus);
    std::printf("bridge probe: a running statement cancelled from another thread (%lld ms)\n",
                static_cast<long long>(cancelMs));
    fb->rollback_transaction(status, &tr);
    fb->detach_database(status, &db);

    // A refused login, as the program's failure texts read it.
    isc_db_handle refused = Attach(argv[1], "senha-errada", status);
    if (refused != 0 || status[1] != isc_login)
        Fail("a wrong password was not refused with isc_login", status);
    char line[512];
    const ISC_STATUS *cursor = status;
    fb->interpret(line, sizeof line, &cursor);
    std::printf("bridge probe: a wrong password is refused: %s\n", line);

    // What a call through the bridge costs, on one that stays in the client.
    const int calls = 2000;
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        fb->interpret(line, sizeof line, &(cursor = status));
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - before).count();
    std::printf("bridge probe: %.1f us per call\n", us / calls);
    std::printf("bridge probe: OK\n");
    return 0;
}
