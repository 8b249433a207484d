// Figures for the engine as the window sees it, against the real private
// servers (source $CATRACA_SERVERS_DIR/env.sh first):
//   the first cycle after a user's connect at 1,000 and 10,000 open tabs, with
//   the window's longest event-loop stall while it runs;
//   the time from a server coming back to the turnstile converged, for each
//   server, next to the reconnection delay that was pending.
// Prints figures only; it never fails on a time.
#include "app/form_principal.h"
#include "base/kr_guard.h"
#include "erp/kr_database.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

void script(const QStringList &args)
{
    QProcess p;
    p.start(env("CATRACA_SERVERS_SCRIPT"), args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "servers.sh %s failed: %s\n", qPrintable(args.join(u' ')), p.readAllStandardError().constData());
        std::exit(1);
    }
}

void fillErp(int tabs)
{
    script({QStringLiteral("fb-sql"),
            QStringLiteral("DELETE FROM COMANDAS; COMMIT;\nSET TERM ^ ;\nEXECUTE BLOCK AS DECLARE i INTEGER = 1; "
                           "BEGIN WHILE (i <= %1) DO BEGIN INSERT INTO COMANDAS VALUES (:i, 10); i = i + 1; "
                           "END END ^\nSET TERM ; ^")
                .arg(tabs)});
    script({QStringLiteral("mysql-sql"), QStringLiteral("delete from cad_comanda")});
}

class TPrompt : public IConnectPrompt
{
public:
    bool Execute() override { return false; }
    TConnectEntries Entries() const override { return {}; }
};

// The window's event loop: the longest gap between two runs of a 10 ms timer.
struct TStall {
    QTimer timer;
    QElapsedTimer clock;
    qint64 longest = 0;
    TStall()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { longest = std::max(longest, clock.restart()); });
    }
    void Start()
    {
        longest = 0;
        clock.start();
        timer.start();
    }
};

// Runs the event loop until the engine ends a synchronised cycle, or the limit.
qint64 untilSynchronised(TFrmPrincipal &form, int limitMs)
{
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    const auto c = QObject::connect(form.Sync.Engine(), &TSyncEngine::CycleEnded, &loop, [&loop](bool ok) {
        if (ok)
            loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c);
    return t.elapsed();
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<TFrmPrincipal> startWindow()
{
    auto form = std::make_unique<TFrmPrincipal>(nullptr, false);
    form->FormCreate();
    return form;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (env("CATRACA_FB_HOST").isEmpty() || env("CATRACA_MYSQL_HOST").isEmpty()) {
        std::fprintf(stderr, "Start the servers first: scripts/servers.sh start; source $CATRACA_SERVERS_DIR/env.sh\n");
        return 2;
    }
    QTemporaryDir install;
    SetExecutableFolderForTesting(install.path());
    SetConnectPromptFactory([] { return std::make_unique<TPrompt>(); });
    SetMessagePresenter([](const MessageRequest &r) {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MessageOutcome{};
    });
    SetTopLevelErrorDisplay([](const QString &m) { std::fprintf(stderr, "error: %s\n", qPrintable(m)); });
    QFile product(install.filePath(QStringLiteral("norvacomercio.ini")));
    QFile turnstile(install.filePath(QStringLiteral("dbxconnections.ini")));
    if (!product.open(QIODevice::WriteOnly) || !turnstile.open(QIODevice::WriteOnly))
        return 1;
    product.write(QStringLiteral("[IBCONFIG]\r\nIP=%1\r\nLOCAL=%2\r\nPORTA=%3\r\nUSACONFIG=0\r\n")
                      .arg(env("CATRACA_FB_HOST"), env("CATRACA_FB_DATABASE"), env("CATRACA_FB_PORT"))
                      .toUtf8());
    turnstile.write(QStringLiteral("[MySQL]\r\nHostName=%1\r\nPort=%2\r\nDatabase=%3\r\nUser_Name=%4\r\nPassword=%5\r\n")
                        .arg(env("CATRACA_MYSQL_HOST"), env("CATRACA_MYSQL_PORT"), env("CATRACA_MYSQL_DATABASE"),
                             env("CATRACA_MYSQL_USER"), env("CATRACA_MYSQL_PASSWORD"))
                        .toUtf8());
    product.close();
    turnstile.close();

    TStall stall;
    std::printf("%10s %22s %24s\n", "open tabs", "first cycle after F2", "longest window stall");
    for (int tabs : {1000, 10000}) {
        fillErp(tabs);
        auto form = startWindow();
        stall.Start();
        QElapsedTimer t;
        t.start();
        form->BtnConectarClick();
        untilSynchronised(*form, 600000);
        std::printf("%10d %19.1f s %21lld ms\n", tabs, t.elapsed() / 1000.0, stall.longest);
        std::fflush(stdout);
    }

    std::printf("\n%10s %30s %26s\n", "server", "back to converged", "longest window stall");
    fillErp(100);
    auto form = startWindow();
    form->BtnConectarClick();
    untilSynchronised(*form, 60000);
    for (const QString which : {QStringLiteral("mariadb"), QStringLiteral("firebird")}) {
        // The script's own waits block this thread: the window is watched
        // only while the program alone runs.
        script({QStringLiteral("stop-") + which});
        stall.Start();
        // Long enough for the loss to be seen and a retry or two to fail.
        wait(5000);
        qint64 longest = stall.longest;
        script({QStringLiteral("start-") + which});
        script({QStringLiteral("fb-sql"), QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 0 WHERE COM_NUMERO = 1;"
                                                          "INSERT INTO COMANDAS VALUES (1000 + %1, 5);")
                                              .arg(which.size())});
        stall.Start();
        const qint64 back = untilSynchronised(*form, 120000);
        longest = std::max(longest, stall.longest);
        std::printf("%10s %27lld ms %23lld ms\n", qPrintable(which), back, longest);
        std::fflush(stdout);
        script({QStringLiteral("fb-sql"), QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = 10 WHERE COM_NUMERO = 1;")});
        untilSynchronised(*form, 60000);
    }
    form.reset();
    return 0;
}
