// The Firebird adapter against the private server of scripts/servers.sh.
#include "erp/fb_client.h"
#include "support/db_servers.h"

#include <QtTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

QString ConnectionString(const QString &host, quint16 port, const QString &path)
{
    return QStringLiteral("%1/%2:%3").arg(host).arg(port).arg(path);
}

QStringList DefaultParams(const QString &password)
{
    return {QStringLiteral("user_name=sysdba"), QStringLiteral("password=") + password,
            QStringLiteral("lc_ctype=WIN1252")};
}

QStringList ErpTransactionParams()
{
    return {QStringLiteral("read_committed"), QStringLiteral("rec_version"), QStringLiteral("nowait"),
            QStringLiteral("read")};
}


// An attachment with the ERP's read transaction and one query bound to both,
// as the database manager wires them.
struct TErpRead
{
    TFbDatabase db;
    TFbTransaction tr;
    TFbQuery q;

    TErpRead(const QString &databaseName, const QString &password, const QString &sql)
    {
        db.DatabaseName = databaseName;
        db.Params = DefaultParams(password);
        db.Open();
        tr.Params = ErpTransactionParams();
        tr.SetDefaultDatabase(&db);
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
        q.SQL << sql;
    }
};

} // namespace

class TstFbClient : public QObject
{
    Q_OBJECT

    QString m_host;
    quint16 m_port = 0;
    QString m_path;
    QString m_password;
    // Rows this program adds to COMANDAS use numbers from here on, with a
    // total of 0, so the open-tab reading of other tests never sees them.
    qint32 m_base = 0;

    bool HaveServer() const { return !m_host.isEmpty(); }

    std::unique_ptr<TErpRead> ErpRead(const QString &sql) const
    {
        return std::make_unique<TErpRead>(ConnectionString(m_host, m_port, m_path), m_password, sql);
    }

    void Attach(TFbDatabase &db) const
    {
        db.DatabaseName = ConnectionString(m_host, m_port, m_path);
        db.Params = DefaultParams(m_password);
        db.Open();
    }

    // Runs a statement in its own write transaction and commits it.
    void Exec(const QString &sql) const
    {
        TFbDatabase db;
        Attach(db);
        TFbTransaction tr;
        tr.Params = {QStringLiteral("read_committed"), QStringLiteral("rec_version"), QStringLiteral("nowait")};
        tr.SetDefaultDatabase(&db);
        TFbQuery q;
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
        q.SQL << sql;
        q.Open();
        tr.Commit();
    }

    QString OwnRows() const
    {
        return QStringLiteral("COM_NUMERO BETWEEN %1 AND %2").arg(m_base).arg(m_base + 9);
    }

private slots:
    void initTestCase()
    {
        m_host = dbtest::Env("CATRACA_FB_HOST");
        m_port = dbtest::Env("CATRACA_FB_PORT").toUShort();
        m_path = dbtest::Env("CATRACA_FB_DATABASE");
        m_password = dbtest::Env("CATRACA_FB_PASSWORD");
        m_base = 1000000 + static_cast<qint32>(QCoreApplication::applicationPid() % 100000) * 10;
        if (HaveServer())
            Exec(QStringLiteral("DELETE FROM COMANDAS WHERE ") + OwnRows());
    }

    void cleanupTestCase()
    {
        if (HaveServer())
            Exec(QStringLiteral("DELETE FROM COMANDAS WHERE ") + OwnRows());
    }

    void parametersThatTheClientCannotTakeAreRefused()
    {
        TFbDatabase db;
        db.DatabaseName = QStringLiteral("127.0.0.1/1:/nowhere.fdb");
        db.Params = {QStringLiteral("user_name=SYSDBA"), QStringLiteral("role_of_honour=x")};
        QVERIFY(dbtest::ErrorText([&] { db.Open(); }).contains(QStringLiteral("role_of_honour")));
        db.Params = {QStringLiteral("password=") + QString(300, u'x')};
        QVERIFY(dbtest::ErrorText([&] { db.Open(); }).contains(QStringLiteral("too long")));
        db.Params = {QStringLiteral("password=senha\u4E2D")};
        QVERIFY(dbtest::ErrorText([&] { db.Open(); }).contains(QStringLiteral("Windows-1252")));
        QVERIFY(!db.Connected());

        TFbTransaction tr;
        tr.SetDefaultDatabase(&db);
        QCOMPARE(dbtest::ErrorText([&] { tr.StartTransaction(); }), QStringLiteral("Database not connected"));
        TFbQuery q;
        q.SQL << QStringLiteral("SELECT 1 FROM RDB$DATABASE");
        QCOMPARE(dbtest::ErrorText([&] { q.Open(); }), QStringLiteral("Database not assigned"));
        QVERIFY(dbtest::ErrorText([&] { q.Next(); }).contains(QStringLiteral("closed dataset")));
    }

    void attachAndDetach()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        TFbDatabase db;
        QElapsedTimer timer;
        timer.start();
        Attach(db);
        const qint64 attachMs = timer.elapsed();
        QVERIFY(db.Connected());
        db.Open(); // already open: nothing happens
        QVERIFY(db.Connected());
        db.Close();
        QVERIFY(!db.Connected());
        db.Close();
        qInfo("attach %lld ms", attachMs);

        // The character set name is taken in any case, as the manager appends it lower-cased.
        db.Params = {QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + m_password,
                     QStringLiteral("lc_ctype=win1252")};
        db.Open();
        QVERIFY(db.Connected());
    }

    void attachFailuresCarryTheServersText()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        TFbDatabase db;
        db.DatabaseName = ConnectionString(m_host, m_port, m_path);
        db.Params = DefaultParams(QStringLiteral("wrong"));
        std::optional<TFbError> raised;
        QString text = dbtest::ErrorText([&] { db.Open(); }, &raised);
        QCOMPARE(raised->GdsCode(), isc_login);
        QVERIFY2(text.contains(QStringLiteral("Your user name and password are not defined")), qPrintable(text));
        QVERIFY(!db.Connected());

        db.Params = DefaultParams(m_password);
        db.DatabaseName = ConnectionString(m_host, m_port, m_path + QStringLiteral(".missing"));
        text = dbtest::ErrorText([&] { db.Open(); }, &raised);
        QCOMPARE(raised->GdsCode(), isc_io_error);
        QVERIFY2(text.contains(QStringLiteral("No such file or directory")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral(" | ")), qPrintable(text));

        db.DatabaseName = ConnectionString(m_host, dbtest::ClosedPort(), m_path);
        QElapsedTimer timer;
        timer.start();
        text = dbtest::ErrorText([&] { db.Open(); }, &raised);
        QCOMPARE(raised->GdsCode(), isc_network_error);
        QVERIFY2(text.contains(QStringLiteral("Unable to complete network request")), qPrintable(text));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(!db.Connected());
        QVERIFY(!db.ConnectionLost());
    }

    void openTabsQueryOfTheSampleDatabase()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        const auto read = ErpRead(QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_TOTAL > 0"));
        auto &tr = read->tr;
        auto &q = read->q;
        QElapsedTimer timer;
        timer.start();
        q.Open();
        QVERIFY(tr.Active());
        QList<qint32> numbers;
        for (q.First(); !q.Eof(); q.Next())
            numbers << q.FieldByNameAsInteger(QStringLiteral("COM_NUMERO"));
        qInfo("open-tabs query %lld ms, %lld rows", timer.elapsed(), qint64(numbers.size()));
        QCOMPARE(q.RecordCount(), numbers.size());
        QVERIFY(numbers.contains(12));
        QVERIFY(!numbers.contains(11)); // total 0 in the sample
        // The ERP transaction is ended once the result has been read.
        tr.Commit();
        QVERIFY(!tr.Active());
        QVERIFY(!q.Active());
        q.Close();
    }

    void walkingRowsAndReadingFields()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        Exec(QStringLiteral("INSERT INTO COMANDAS VALUES (%1, 0)").arg(m_base + 1));
        Exec(QStringLiteral("INSERT INTO COMANDAS VALUES (%1, NULL)").arg(m_base + 2));
        Exec(QStringLiteral("INSERT INTO COMANDAS VALUES (%1, 0)").arg(m_base + 3));

        const auto read = ErpRead(QStringLiteral("SELECT COM_NUMERO, COM_TOTAL, COM_NUMERO * 2.5 AS METADE\n"
                                                 "FROM COMANDAS WHERE %1 ORDER BY COM_NUMERO").arg(OwnRows()));
        auto &q = read->q;
        q.Open();
        QVERIFY(!q.Eof());
        QCOMPARE(q.RecordCount(), 1); // rows fetched so far
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("com_numero")), m_base + 1);
        q.Next();
        QCOMPARE(q.RecordCount(), 2);
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("COM_NUMERO")), m_base + 2);
        QVERIFY(q.FieldByName(QStringLiteral("COM_TOTAL")).isNull());
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("COM_TOTAL")), 0);
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("METADE")), qRound((m_base + 2) * 2.5));
        q.Next();
        q.Next();
        QVERIFY(q.Eof());
        QCOMPARE(q.RecordCount(), 3);
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("COM_NUMERO")), m_base + 3); // stays on the last row
        q.Next();
        QVERIFY(q.Eof());
        q.First();
        QVERIFY(!q.Eof());
        QCOMPARE(q.FieldByNameAsInteger(QStringLiteral("COM_NUMERO")), m_base + 1);
        QCOMPARE(q.RecordCount(), 3);
        QVERIFY(dbtest::ErrorText([&] { q.FieldByNameAsInteger(QStringLiteral("NOPE")); })
                    .contains(QStringLiteral("Field 'NOPE' not found")));
        q.Close();
        QVERIFY(!q.Active());

        // No rows: at the end at once.
        q.SQL.clear();
        q.SQL << QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_NUMERO = -2147483648");
        q.Open();
        QVERIFY(q.Eof());
        QCOMPARE(q.RecordCount(), 0);
        q.First();
        QVERIFY(q.Eof());
        q.Close();

        // A value beyond 32 bits is an error, not a wrapped number.
        q.SQL.clear();
        q.SQL << QStringLiteral("SELECT CAST(4294967296 AS BIGINT) AS BIG, 'abc' AS TXT FROM RDB$DATABASE");
        q.Open();
        QVERIFY(dbtest::ErrorText([&] { q.FieldByNameAsInteger(QStringLiteral("BIG")); }).contains(QStringLiteral("range")));
        QVERIFY(dbtest::ErrorText([&] { q.FieldByNameAsInteger(QStringLiteral("TXT")); })
                    .contains(QStringLiteral("not a valid integer")));
    }

    void sqlErrorsLeaveTheAttachmentUsable()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        const auto read = ErpRead(QStringLiteral("SELECT NOPE FROM COMANDAS"));
        auto &db = read->db;
        auto &tr = read->tr;
        auto &q = read->q;
        std::optional<TFbError> raised;
        const QString text = dbtest::ErrorText([&] { q.Open(); }, &raised);
        QVERIFY2(text.contains(QStringLiteral("Column unknown")) && text.contains(QStringLiteral("NOPE")), qPrintable(text));
        QVERIFY(!raised->IsConnectionLost());
        QVERIFY(!q.Active());
        QVERIFY(db.Connected());

        // The read-only transaction refuses writes with the server's text.
        q.SQL = QStringList{QStringLiteral("UPDATE COMANDAS SET COM_TOTAL = COM_TOTAL WHERE COM_TOTAL > 0")};
        const QString readOnly = dbtest::ErrorText([&] { q.Open(); });
        QVERIFY2(readOnly.contains(QStringLiteral("read-only")), qPrintable(readOnly));

        q.SQL = QStringList{QStringLiteral("SELECT COUNT(*) AS N FROM COMANDAS")};
        q.Open();
        QVERIFY(q.FieldByNameAsInteger(QStringLiteral("N")) >= 1);

        // Closing the database closes its queries and ends its transaction.
        TFbQuery other;
        other.SetDatabase(&db);
        other.SetTransaction(&tr);
        other.SQL << QStringLiteral("SELECT COM_NUMERO FROM COMANDAS");
        other.Open();
        db.CloseDataSets();
        QVERIFY(!q.Active() && !other.Active());
        QVERIFY(tr.Active());
        db.Close();
        QVERIFY(!tr.Active());
    }

    // What a watchdog on another thread does to a call that hangs: the call
    // fails with isc_cancelled and the attachment stays usable.
    void anotherThreadCancelsARunningQuery()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        const QString endless = QStringLiteral(
            "SELECT COUNT(*) AS N FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$FIELDS D, RDB$FIELDS E");
        const auto read = ErpRead(endless);
        QVERIFY(!read->db.CancelOperation()); // nothing runs: the server says so
        std::atomic<bool> stop{false};
        std::atomic<int> cancels{0};
        std::thread watchdog([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            while (!stop) {
                if (read->db.CancelOperation())
                    ++cancels;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        QElapsedTimer clock;
        clock.start();
        std::optional<TFbError> raised;
        const QString text = dbtest::ErrorText([&] { read->q.Open(); }, &raised);
        stop = true;
        watchdog.join();
        QVERIFY2(raised && raised->GdsCode() == isc_cancelled, qPrintable(text));
        QVERIFY(cancels >= 1);
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!raised->IsConnectionLost());
        QVERIFY(read->db.Connected());
        read->q.SQL = QStringList{QStringLiteral("SELECT COUNT(*) AS N FROM COMANDAS")};
        read->q.Open();
        QVERIFY(read->q.FieldByNameAsInteger(QStringLiteral("N")) >= 1);
    }

    void committingLetsTheNextQuerySeeNewRows()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        TFbDatabase db;
        Attach(db);
        TFbTransaction tr;
        tr.Params = ErpTransactionParams();
        tr.SetDefaultDatabase(&db);
        auto count = [&] {
            TFbQuery q;
            q.SetDatabase(&db);
            q.SetTransaction(&tr);
            q.SQL << QStringLiteral("SELECT COUNT(*) AS N FROM COMANDAS WHERE COM_NUMERO = %1").arg(m_base + 5);
            q.Open();
            const int n = q.FieldByNameAsInteger(QStringLiteral("N"));
            tr.Commit();
            return n;
        };
        QCOMPARE(count(), 0);
        Exec(QStringLiteral("INSERT INTO COMANDAS VALUES (%1, 0)").arg(m_base + 5));
        QCOMPARE(count(), 1);
        Exec(QStringLiteral("DELETE FROM COMANDAS WHERE COM_NUMERO = %1").arg(m_base + 5));
        QCOMPARE(count(), 0);
        QVERIFY(!tr.Active());
        QVERIFY(dbtest::ErrorText([&] { tr.Commit(); }).contains(QStringLiteral("not active")));
    }

    void objectsMayGoInAnyOrder()
    {
        if (!HaveServer())
            QSKIP("CATRACA_FB_HOST is not set (scripts/servers.sh start)");
        auto q = std::make_unique<TFbQuery>();
        auto tr = std::make_unique<TFbTransaction>();
        {
            TFbDatabase db;
            Attach(db);
            tr->SetDefaultDatabase(&db);
            q->SetDatabase(&db);
            q->SetTransaction(tr.get());
            q->SQL << QStringLiteral("SELECT COM_NUMERO FROM COMANDAS");
            q->Open();
        }
        QVERIFY(!q->Active());
        QVERIFY(q->Database() == nullptr);
        QVERIFY(tr->DefaultDatabase() == nullptr && !tr->Active());
        tr.reset();
        QVERIFY(q->Transaction() == nullptr);
    }

    void reattachesAfterTheServerRestarted()
    {
        if (!HaveServer() || dbtest::Env("CATRACA_SERVERS_SCRIPT").isEmpty())
            QSKIP("needs CATRACA_FB_HOST and CATRACA_SERVERS_SCRIPT (scripts/servers.sh start)");
        dbtest::TRestartGuard guard(QStringLiteral("start-firebird"));
        const auto read = ErpRead(QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_TOTAL > 0"));
        auto &db = read->db;
        auto &tr = read->tr;
        auto &q = read->q;
        q.Open();
        q.Close();

        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        std::optional<TFbError> raised;
        const QString text = dbtest::ErrorText([&] { q.Open(); }, &raised);
        QVERIFY2(raised && raised->IsConnectionLost(), qPrintable(text));
        QVERIFY(!db.Connected());
        QVERIFY(db.ConnectionLost());
        QVERIFY(!tr.Active());
        // Still down: the attempt to attach again fails and is reported.
        QVERIFY(dbtest::ErrorText([&] { q.Open(); }).contains(QStringLiteral("Unable to complete network request")));

        QVERIFY(dbtest::ServersScript(QStringLiteral("start-firebird")));
        QElapsedTimer timer;
        timer.start();
        q.Open();
        qInfo("reattach and query after restart %lld ms", timer.elapsed());
        QVERIFY(db.Connected());
        QVERIFY(!db.ConnectionLost());
        QVERIFY(q.RecordCount() >= 1);
    }

    void handlesOfADeadServerAreReleased()
    {
        if (!HaveServer() || dbtest::Env("CATRACA_SERVERS_SCRIPT").isEmpty())
            QSKIP("needs CATRACA_FB_HOST and CATRACA_SERVERS_SCRIPT (scripts/servers.sh start)");
        dbtest::TRestartGuard guard(QStringLiteral("start-firebird"));
        // Statement, transaction and attachment all open when the server goes;
        // the client library used to crash at process end in this state.
        auto db = std::make_unique<TFbDatabase>();
        Attach(*db);
        TFbTransaction tr;
        tr.Params = ErpTransactionParams();
        tr.SetDefaultDatabase(db.get());
        TFbQuery q;
        q.SetDatabase(db.get());
        q.SetTransaction(&tr);
        q.SQL << QStringLiteral("SELECT A.RDB$RELATION_ID FROM RDB$RELATIONS A, RDB$RELATIONS B");
        q.Open();
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        std::optional<TFbError> raised;
        const QString text = dbtest::ErrorText([&] { while (!q.Eof()) q.Next(); }, &raised);
        // The rows may all have arrived before the server went.
        if (!q.Eof() || text != QStringLiteral("<no error>"))
            QVERIFY2(raised && raised->IsConnectionLost(), qPrintable(text));
        QVERIFY(dbtest::ServersScript(QStringLiteral("start-firebird")));
        Attach(*db);
        db->Close();
        Attach(*db);
        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-firebird")));
        db.reset(); // detaching from a dead server must not throw
        QVERIFY(q.Database() == nullptr);
    }
};

DBTEST_GUILESS_MAIN(TstFbClient)
#include "tst_fb_client.moc"
