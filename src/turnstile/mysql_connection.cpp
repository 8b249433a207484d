#include "turnstile/mysql_connection.h"

#include "engine/attempts.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

namespace {

struct TSettings
{
    QString host;
    unsigned int port = TMySqlConnection::DefaultPort;
    QString database;
    QString user;
    QString password;
};

TSettings ParseParams(const QStringList &params)
{
    TSettings settings;
    for (const QString &line : params) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        auto is = [&](const char *name) { return key.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0; };
        if (is("HostName")) {
            settings.host = value.trimmed();
        } else if (is("Port")) {
            const QString text = value.trimmed();
            if (text.isEmpty())
                continue;
            bool ok = false;
            const uint port = text.toUInt(&ok);
            if (!ok || port == 0 || port > 65535)
                throw KrError(QStringLiteral("Porta inválida: \"%1\"").arg(value));
            settings.port = port;
        } else if (is("Database")) {
            settings.database = value.trimmed();
        } else if (is("User_Name")) {
            settings.user = value.trimmed();
        } else if (is("Password")) {
            settings.password = value;
        }
    }
    return settings;
}

bool IsLostConnection(unsigned int code)
{
    switch (code) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case ER_CONNECTION_KILLED:
    case ER_SERVER_SHUTDOWN:
        return true;
    default:
        return false;
    }
}

TMySqlError ErrorOf(MYSQL *handle)
{
    const unsigned int code = mysql_errno(handle);
    QString text = QString::fromUtf8(mysql_error(handle));
    if (text.isEmpty())
        text = QStringLiteral("MySQL error %1").arg(code);
    return TMySqlError(text, code, IsLostConnection(code));
}

// Where Connector/C loads its authentication plugins from (client_ed25519,
// caching_sha2_password, ...): on Windows the "plugin" folder the program
// ships beside itself, whatever the working directory, unless
// MARIADB_PLUGIN_DIR names another (Connector/C reads that itself);
// elsewhere the system's own default.
QByteArray PluginFolder()
{
#ifdef _WIN32
    if (!qEnvironmentVariableIsEmpty("MARIADB_PLUGIN_DIR"))
        return {};
    // Connector/C hands the path to LoadLibraryExA: the ANSI code page's bytes.
    if (QCoreApplication::instance())
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/plugin"))
            .toLocal8Bit();
#endif
    return {};
}

} // namespace

TMySqlConnection::TMySqlConnection() : m_attempts(std::make_unique<TAttempts<THandle>>()) {}

TMySqlConnection::~TMySqlConnection()
{
    Close();
}

// One connection attempt; raises the client's failure.
std::shared_ptr<TMySqlConnection::THandle> TMySqlConnection::Connect(const QStringList &params)
{
    const TSettings settings = ParseParams(params);
    MYSQL *handle = mysql_init(nullptr);
    if (!handle)
        throw KrError(QStringLiteral("MySQL client: out of memory"));
    auto owner = std::make_shared<THandle>(handle);
    // "localhost" would otherwise mean the default Unix socket, ignoring the port.
    const unsigned int protocol = MYSQL_PROTOCOL_TCP;
    // A turnstile server that does not answer must not block the window for
    // minutes: the client's defaults wait for the operating system's time-outs.
    const unsigned int connectTimeout = ConnectTimeoutSeconds;
    const unsigned int ioTimeout = ReadWriteTimeoutSeconds;
    const my_bool noReconnect = 0;
    mysql_optionsv(handle, MYSQL_OPT_PROTOCOL, &protocol);
    mysql_optionsv(handle, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_optionsv(handle, MYSQL_OPT_READ_TIMEOUT, &ioTimeout);
    mysql_optionsv(handle, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout);
    mysql_optionsv(handle, MYSQL_OPT_RECONNECT, &noReconnect);
    mysql_optionsv(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (const QByteArray plugins = PluginFolder(); !plugins.isEmpty())
        mysql_optionsv(handle, MYSQL_PLUGIN_DIR, plugins.constData());

    const QByteArray host = settings.host.toUtf8();
    const QByteArray user = settings.user.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    const QByteArray database = settings.database.toUtf8();
    if (!mysql_real_connect(handle, host.isEmpty() ? nullptr : host.constData(), user.constData(),
                            password.constData(), database.isEmpty() ? nullptr : database.constData(),
                            settings.port, nullptr, 0))
        throw ErrorOf(handle);
    // A server configured with autocommit off would silently roll back every
    // write when the connection closes.
    if (mysql_autocommit(handle, 1) != 0)
        throw ErrorOf(handle);
    return owner;
}

TMySqlConnection::THandle::~THandle()
{
    if (handle)
        mysql_close(handle);
}

void TMySqlConnection::Open()
{
    if (Connected())
        return;
    // Raises at once on settings that cannot work (a port out of range).
    const TSettings settings = ParseParams(Params);
    m_address = (settings.host.isEmpty() ? QStringLiteral("localhost") : settings.host) + QLatin1Char(':')
                + QString::number(settings.port);
    const auto bound = std::chrono::seconds(ConnectTimeoutSeconds + ReadWriteTimeoutSeconds);
    const std::shared_ptr<THandle> connected = m_attempts->Get(
        Params.join(QLatin1Char('\n')), [params = Params] { return Connect(params); },
        std::min<std::chrono::milliseconds>(AttemptPatience, bound), bound);
    m_handle = std::exchange(connected->handle, nullptr);
    m_lost = false;
}

void TMySqlConnection::Close()
{
    if (m_handle) {
        mysql_close(m_handle);
        m_handle = nullptr;
    }
    m_lost = false;
}

qint64 TMySqlConnection::ExecuteDirect(const QString &sql)
{
    if (!m_handle)
        throw KrError(QStringLiteral("MySQL connection is not open"));
    const QByteArray text = sql.toUtf8();
    if (mysql_real_query(m_handle, text.constData(), static_cast<unsigned long>(text.size())) != 0)
        Fail();
    qint64 affected = 0;
    if (MYSQL_RES *result = mysql_store_result(m_handle)) {
        affected = static_cast<qint64>(mysql_num_rows(result));
        mysql_free_result(result);
    } else if (mysql_field_count(m_handle) != 0) {
        Fail();
    } else {
        affected = static_cast<qint64>(mysql_affected_rows(m_handle));
    }
    return affected;
}

void TMySqlConnection::ExecuteAtomically(const QStringList &statements)
{
    ExecuteDirect(QStringLiteral("START TRANSACTION"));
    try {
        for (const QString &sql : statements)
            ExecuteDirect(sql);
        ExecuteDirect(QStringLiteral("COMMIT"));
    } catch (...) {
        if (m_handle)
            mysql_real_query(m_handle, "ROLLBACK", 8);
        throw;
    }
}

void TMySqlConnection::Ping()
{
    if (!m_handle)
        throw KrError(QStringLiteral("MySQL connection is not open"));
    if (mysql_ping(m_handle) != 0)
        Fail();
}

void TMySqlConnection::Fail()
{
    const TMySqlError error = ErrorOf(m_handle);
    if (error.IsConnectionLost()) {
        mysql_close(m_handle);
        m_handle = nullptr;
        m_lost = true;
    }
    throw error;
}

quint64 TMySqlConnection::ThreadId() const
{
    return m_handle ? quint64(mysql_thread_id(m_handle)) : 0;
}

// By the code alone: the client's English text is never read.
TFailureKind TMySqlError::Kind(TFailureStage stage) const
{
    switch (m_code) {
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_IPSOCK_ERROR:
    case CR_SOCKET_CREATE_ERROR:
        return TFailureKind::Unreachable;
    case CR_UNKNOWN_HOST:
        return TFailureKind::UnknownHost;
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
        // During the handshake the server took the connection and then said
        // nothing useful: to the user that is a server that does not answer.
        return stage == TFailureStage::Connect ? TFailureKind::Unreachable : TFailureKind::Lost;
    case CR_SERVER_GONE_ERROR:
    case ER_CONNECTION_KILLED:
    case ER_NET_READ_INTERRUPTED:
        return TFailureKind::Lost;
    case ER_SERVER_SHUTDOWN:
        return TFailureKind::DatabaseShutDown;
    case ER_ACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR:
        return TFailureKind::Login;
    case ER_HOST_NOT_PRIVILEGED:
    case ER_HOST_IS_BLOCKED:
        return TFailureKind::HostRefused;
    case ER_DBACCESS_DENIED_ERROR:
        return TFailureKind::DatabaseDenied;
    case ER_BAD_DB_ERROR:
        return TFailureKind::UnknownDatabase;
    case ER_NO_SUCH_TABLE:
        return TFailureKind::TableMissing;
    case ER_BAD_FIELD_ERROR:
        return TFailureKind::ColumnMissing;
    case ER_TABLEACCESS_DENIED_ERROR:
    case ER_COLUMNACCESS_DENIED_ERROR:
    case ER_SPECIFIC_ACCESS_DENIED_ERROR:
    case ER_OPTION_PREVENTS_STATEMENT:
        return TFailureKind::PermissionDenied;
    case ER_LOCK_WAIT_TIMEOUT:
    case ER_LOCK_DEADLOCK:
        return TFailureKind::Busy;
    case ER_CON_COUNT_ERROR:
    case ER_TOO_MANY_USER_CONNECTIONS:
        return TFailureKind::Overloaded;
    case ER_QUERY_INTERRUPTED:
    case ER_STATEMENT_TIMEOUT:
        return TFailureKind::TimedOut;
    case CR_SSL_CONNECTION_ERROR:
        return TFailureKind::SecureChannel;
    case CR_AUTH_PLUGIN_CANNOT_LOAD:
        return TFailureKind::AuthPlugin;
    default:
        break;
    }
    // The server's own codes: it answered, and said no to the statement.
    return m_code >= 1000 && m_code < 2000 ? TFailureKind::Refused : TFailureKind::Unknown;
}
