// The turnstile connection against the private MariaDB of scripts/servers.sh.
#include "support/db_servers.h"
#include "turnstile/mysql_connection.h"

#include <QTcpServer>
#include <QtTest>

class TstMySqlConnection : public QObject
{
    Q_OBJECT

    // Rows of a table of this program's own, so that the turnstile tests
    // running beside it (which reset cad_comanda) cannot disturb them.
    const QString m_table = QStringLiteral("tst_mysql_connection");

    bool HaveServer() const { return !dbtest::Env("CATRACA_MYSQL_HOST").isEmpty(); }

    // The [MySQL] section as the settings file holds it, plus driver entries
    // that the connection must ignore.
    static QStringList Section(const QString &host, const QString &port, const QString &password)
    {
        return {QStringLiteral("DriverName=MySQL"),
                QStringLiteral("HostName=") + host,
                QStringLiteral("Port=") + port,
                QStringLiteral("Database=") + dbtest::Env("CATRACA_MYSQL_DATABASE"),
                QStringLiteral("User_Name=") + dbtest::Env("CATRACA_MYSQL_USER"),
                QStringLiteral("Password=") + password,
                QStringLiteral("BlobSize=-1")};
    }

    static QStringList Defaults()
    {
        return Section(dbtest::Env("CATRACA_MYSQL_HOST"), dbtest::Env("CATRACA_MYSQL_PORT"),
                       dbtest::Env("CATRACA_MYSQL_PASSWORD"));
    }

    // Counts matching rows through a connection of its own.
    qint64 CountOnSecondConnection(const QString &where) const
    {
        TMySqlConnection other;
        other.Params = Defaults();
        other.Open();
        return other.ExecuteDirect(QStringLiteral("select * from %1 where %2").arg(m_table, where));
    }

private slots:
    void initTestCase()
    {
        if (!HaveServer())
            return;
        TMySqlConnection c;
        c.Params = Defaults();
        c.Open();
        c.ExecuteDirect(QStringLiteral("create table if not exists %1 (num_comanda INT, fl_comanda INT)").arg(m_table));
        c.ExecuteDirect(QStringLiteral("delete from %1").arg(m_table));
    }

    void parametersAreCheckedBeforeConnecting()
    {
        TMySqlConnection c;
        c.Params = Section(QStringLiteral("127.0.0.1"), QStringLiteral("33o7"), QStringLiteral("x"));
        QCOMPARE(dbtest::ErrorText([&] { c.Open(); }), QStringLiteral("Porta inválida: \"33o7\""));
        c.Params = Section(QStringLiteral("127.0.0.1"), QStringLiteral("70000"), QStringLiteral("x"));
        QVERIFY(dbtest::ErrorText([&] { c.Open(); }).contains(QStringLiteral("70000")));
        QVERIFY(!c.Connected());
        QVERIFY(dbtest::ErrorText([&] { c.ExecuteDirect(QStringLiteral("select 1")); }).contains(QStringLiteral("not open")));
        c.CloseResultSets();
        c.Close();
    }

    void connectsWithTheDefaultsAndWrites()
    {
        if (!HaveServer())
            QSKIP("CATRACA_MYSQL_HOST is not set (scripts/servers.sh start)");
        TMySqlConnection c;
        c.Params = Defaults();
        QElapsedTimer timer;
        timer.start();
        c.Open();
        QVERIFY(c.Connected());
        c.Open(); // already open: nothing happens
        // The statements of the cycle, as it sends them.
        c.ExecuteDirect(QStringLiteral("delete from %1 where num_comanda = 12").arg(m_table));
        QCOMPARE(c.ExecuteDirect(QStringLiteral("insert into %1 (num_comanda, fl_comanda) values (12, 0)").arg(m_table)), 1);
        QCOMPARE(c.ExecuteDirect(QStringLiteral("insert into %1 (num_comanda, fl_comanda) values (-5, 0)").arg(m_table)), 1);
        qInfo("connect + 3 statements %lld ms", timer.elapsed());
        QCOMPARE(CountOnSecondConnection(QStringLiteral("num_comanda = 12 and fl_comanda = 0")), 1);
        QCOMPARE(CountOnSecondConnection(QStringLiteral("num_comanda = -5")), 1);

        QCOMPARE(c.ExecuteDirect(QStringLiteral("update %1 set fl_comanda = 1").arg(m_table)), 2);
        QCOMPARE(CountOnSecondConnection(QStringLiteral("fl_comanda = 1")), 2);
        // A statement with a result leaves the connection ready for the next one.
        QCOMPARE(c.ExecuteDirect(QStringLiteral("select * from %1").arg(m_table)), 2);
        QCOMPARE(c.ExecuteDirect(QStringLiteral("delete from %1 where num_comanda = 12").arg(m_table)), 1);
        QCOMPARE(CountOnSecondConnection(QStringLiteral("num_comanda = 12")), 0);

        // The reconnection before each write of the cycle.
        c.CloseResultSets();
        c.Close();
        QVERIFY(!c.Connected());
        c.Open();
        QCOMPARE(c.ExecuteDirect(QStringLiteral("delete from %1").arg(m_table)), 1);

        // The reset statement of the connect action, on the table the script created.
        c.ExecuteDirect(QStringLiteral("select * from cad_comanda where num_comanda = -2147483648"));
    }

    void localhostStillMeansTheGivenPort()
    {
        if (!HaveServer())
            QSKIP("CATRACA_MYSQL_HOST is not set (scripts/servers.sh start)");
        TMySqlConnection c;
        c.Params = Section(QStringLiteral("localhost"), dbtest::Env("CATRACA_MYSQL_PORT"),
                           dbtest::Env("CATRACA_MYSQL_PASSWORD"));
        c.Open();
        QVERIFY(c.Connected());
    }

    void connectFailuresCarryTheClientsText()
    {
        if (!HaveServer())
            QSKIP("CATRACA_MYSQL_HOST is not set (scripts/servers.sh start)");
        TMySqlConnection c;
        c.Params = Section(dbtest::Env("CATRACA_MYSQL_HOST"), dbtest::Env("CATRACA_MYSQL_PORT"), QStringLiteral("wrong"));
        std::optional<TMySqlError> raised;
        QString text = dbtest::ErrorText([&] { c.Open(); }, &raised);
        QCOMPARE(raised->Code(), 1045u);
        QVERIFY2(text.startsWith(QStringLiteral("Access denied for user 'catraca'")), qPrintable(text));
        QVERIFY(!c.Connected());

        c.Params = Section(QStringLiteral("127.0.0.1"), QString::number(dbtest::ClosedPort()),
                           dbtest::Env("CATRACA_MYSQL_PASSWORD"));
        QElapsedTimer timer;
        timer.start();
        text = dbtest::ErrorText([&] { c.Open(); }, &raised);
        QCOMPARE(raised->Code(), 2002u);
        QVERIFY2(text.contains(QStringLiteral("Can't connect to server on '127.0.0.1'")), qPrintable(text));
        QVERIFY(timer.elapsed() < 2000);
        QVERIFY(!c.Connected());
    }

    void unreachableHostGivesUpWithinTheTimeOut()
    {
        if (!HaveServer())
            QSKIP("CATRACA_MYSQL_HOST is not set (scripts/servers.sh start)");
        // A loopback listener that never answers: the kernel completes the
        // handshake, the server never says a word.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        silent.pauseAccepting();
        TMySqlConnection c;
        c.Params = Section(QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()), QStringLiteral("x"));
        QElapsedTimer timer;
        timer.start();
        const QString text = dbtest::ErrorText([&] { c.Open(); });
        qInfo("unreachable host: %lld ms, %s", timer.elapsed(), qPrintable(text));
        QVERIFY(text != QStringLiteral("<no error>"));
        QVERIFY(timer.elapsed() < (TMySqlConnection::ConnectTimeoutSeconds + 3) * 1000);
    }

    void missingTableKeepsTheConnection()
    {
        if (!HaveServer())
            QSKIP("CATRACA_MYSQL_HOST is not set (scripts/servers.sh start)");
        TMySqlConnection c;
        c.Params = Defaults();
        c.Open();
        std::optional<TMySqlError> raised;
        const QString text = dbtest::ErrorText(
            [&] { c.ExecuteDirect(QStringLiteral("update cad_nope set fl_comanda = 1")); }, &raised);
        QCOMPARE(raised->Code(), 1146u);
        QCOMPARE(text, QStringLiteral("Table 'catraca.cad_nope' doesn't exist"));
        QVERIFY(!raised->IsConnectionLost());
        QVERIFY(c.Connected());
        c.ExecuteDirect(QStringLiteral("select 1"));
    }

    void serverGoneClosesTheConnectionAndDataSurvives()
    {
        if (!HaveServer() || dbtest::Env("CATRACA_SERVERS_SCRIPT").isEmpty())
            QSKIP("needs CATRACA_MYSQL_HOST and CATRACA_SERVERS_SCRIPT (scripts/servers.sh start)");
        dbtest::TRestartGuard guard(QStringLiteral("start-mariadb"));
        TMySqlConnection c;
        c.Params = Defaults();
        c.Open();
        c.ExecuteDirect(QStringLiteral("insert into %1 (num_comanda, fl_comanda) values (77, 0)").arg(m_table));

        QVERIFY(dbtest::ServersScript(QStringLiteral("stop-mariadb")));
        std::optional<TMySqlError> raised;
        const QString text = dbtest::ErrorText([&] { c.ExecuteDirect(QStringLiteral("select 1")); }, &raised);
        QVERIFY2(raised && raised->IsConnectionLost(), qPrintable(text));
        QVERIFY(!c.Connected());
        QVERIFY(c.ConnectionLost());
        QVERIFY(dbtest::ErrorText([&] { c.Open(); }).contains(QStringLiteral("Can't connect")));

        QVERIFY(dbtest::ServersScript(QStringLiteral("start-mariadb")));
        QElapsedTimer timer;
        timer.start();
        c.Open();
        qInfo("reconnect after restart %lld ms", timer.elapsed());
        QVERIFY(!c.ConnectionLost());
        QCOMPARE(c.ExecuteDirect(QStringLiteral("delete from %1 where num_comanda = 77").arg(m_table)), 1);
    }
};

DBTEST_GUILESS_MAIN(TstMySqlConnection)
#include "tst_mysql_connection.moc"
