#include "erp/fb_client.h"

#include "base/kr_cp1252.h"
#include "erp/fb_library.h"

#include <QDate>
#include <QDateTime>
#include <QStringDecoder>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

namespace {

constexpr int StatusLength = ISC_STATUS_LENGTH;
constexpr unsigned short Dialect = SQL_DIALECT_V6;
constexpr int DefaultConnectTimeoutSeconds = 10;

// The ERP database, its names and its texts are Windows-1252; a character
// outside it would reach the server as something else, so it is refused.
QByteArray ToWin1252(const QString &text, const char *what)
{
    QByteArray bytes;
    if (!EncodeWindows1252(text, bytes))
        throw KrError(QStringLiteral("The %1 holds characters outside Windows-1252").arg(QLatin1StringView(what)));
    return bytes;
}

QString FromWin1252(const QByteArray &bytes)
{
    return DecodeWindows1252(bytes);
}

// Every call goes through the table loaded at run time; a missing client
// fails the first call with a message that names the missing file.
const platform::FbClientFunctions &Fb()
{
    const platform::FbClientLoad &client = platform::FbClient();
    if (!client.loaded)
        throw TFbError(QString::fromStdString(client.error), TFbError::ClientNotLoaded, false);
    return client.functions;
}

bool Failed(const ISC_STATUS *status)
{
    return status[0] == 1 && status[1] != 0;
}

// Server texts are ASCII except for file names, which come in the server
// machine's own encoding.
QString ServerText(const char *text)
{
    const QByteArray bytes(text);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(bytes);
    return utf8.hasError() ? FromWin1252(bytes) : decoded;
}

bool IsLostConnectionCode(ISC_STATUS code)
{
    switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_att_shutdown:
    case isc_shutdown:
    case isc_conn_lost:
    case isc_lost_db_connection:
    case isc_bad_db_handle:
        return true;
    default:
        return false;
    }
}

QList<ISC_STATUS> ErrorCodes(const ISC_STATUS *status)
{
    QList<ISC_STATUS> codes;
    for (int i = 0; i < StatusLength && status[i] != isc_arg_end;) {
        const ISC_STATUS kind = status[i];
        if (kind == isc_arg_gds && i + 1 < StatusLength)
            codes << status[i + 1];
        i += kind == isc_arg_cstring ? 3 : 2;
    }
    return codes;
}

bool MentionsLostConnection(const QList<ISC_STATUS> &codes)
{
    return std::any_of(codes.begin(), codes.end(), IsLostConnectionCode);
}

TFbError ErrorFrom(const ISC_STATUS *status)
{
    QStringList parts;
    char buffer[1024];
    const ISC_STATUS *cursor = status;
    while (Fb().interpret(buffer, sizeof buffer, &cursor) > 0)
        parts << ServerText(buffer);
    if (parts.isEmpty())
        parts << QStringLiteral("Firebird error %1").arg(status[1]);
    QList<ISC_STATUS> codes = ErrorCodes(status);
    const bool lost = MentionsLostConnection(codes);
    return TFbError(parts.join(QStringLiteral(" | ")), status[1], lost, std::move(codes));
}

void AddDpbText(std::string &dpb, char code, const QString &name, const QString &value)
{
    const QByteArray bytes = ToWin1252(value, "database parameter");
    if (bytes.size() > 255)
        throw KrError(QStringLiteral("Database parameter %1 is too long").arg(name));
    dpb += code;
    dpb += static_cast<char>(bytes.size());
    dpb.append(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void AddDpbNumber(std::string &dpb, char code, quint32 value)
{
    dpb += code;
    dpb += char(4);
    for (int i = 0; i < 4; ++i)
        dpb += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string BuildDpb(const QStringList &params)
{
    std::string dpb(1, char(isc_dpb_version1));
    bool timeoutGiven = false;
    for (const QString &line : params) {
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString name = (eq < 0 ? line : line.left(eq)).trimmed().toLower();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1);
        if (name == u"user_name" || name == u"user")
            AddDpbText(dpb, isc_dpb_user_name, name, value);
        else if (name == u"password")
            AddDpbText(dpb, isc_dpb_password, name, value);
        else if (name == u"lc_ctype")
            AddDpbText(dpb, isc_dpb_lc_ctype, name, value.trimmed());
        else if (name == u"sql_role_name")
            AddDpbText(dpb, isc_dpb_sql_role_name, name, value);
        else if (name == u"connect_timeout") {
            bool ok = false;
            const uint seconds = value.trimmed().toUInt(&ok);
            if (!ok)
                throw KrError(QStringLiteral("Invalid connect_timeout value: %1").arg(value));
            AddDpbNumber(dpb, isc_dpb_connect_timeout, seconds);
            timeoutGiven = true;
        } else {
            throw KrError(QStringLiteral("Unknown database parameter: %1").arg(line));
        }
    }
    // The client's own default waits minutes for a host that does not answer.
    if (!timeoutGiven)
        AddDpbNumber(dpb, isc_dpb_connect_timeout, DefaultConnectTimeoutSeconds);
    return dpb;
}

std::string BuildTpb(const QStringList &params)
{
    static const struct {
        const char *name;
        char code;
    } Items[] = {
        {"read_committed", isc_tpb_read_committed}, {"rec_version", isc_tpb_rec_version},
        {"no_rec_version", isc_tpb_no_rec_version}, {"nowait", isc_tpb_nowait},
        {"wait", isc_tpb_wait},                     {"read", isc_tpb_read},
        {"write", isc_tpb_write},                   {"concurrency", isc_tpb_concurrency},
        {"consistency", isc_tpb_consistency},
    };
    std::string tpb(1, char(isc_tpb_version3));
    for (const QString &line : params) {
        const QString name = line.trimmed().toLower();
        if (name.isEmpty())
            continue;
        const auto item = std::find_if(std::begin(Items), std::end(Items),
                                       [&](const auto &i) { return name == QLatin1StringView(i.name); });
        if (item == std::end(Items))
            throw KrError(QStringLiteral("Unknown transaction parameter: %1").arg(line));
        tpb += item->code;
    }
    return tpb;
}

template <class T>
T ReadRaw(const char *data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

QVariant ScaledInteger(qint64 value, short scale)
{
    if (scale >= 0)
        return QVariant(value);
    return QVariant(static_cast<double>(value) / std::pow(10.0, -scale));
}

QVariant ColumnValue(const XSQLVAR &var)
{
    if ((var.sqltype & 1) && var.sqlind && *var.sqlind == -1)
        return QVariant();
    const char *data = var.sqldata;
    switch (var.sqltype & ~1) {
    case SQL_SHORT:
        return ScaledInteger(ReadRaw<ISC_SHORT>(data), var.sqlscale);
    case SQL_LONG:
        return ScaledInteger(ReadRaw<ISC_LONG>(data), var.sqlscale);
    case SQL_INT64:
        return ScaledInteger(ReadRaw<ISC_INT64>(data), var.sqlscale);
    case SQL_FLOAT:
        return QVariant(static_cast<double>(ReadRaw<float>(data)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return QVariant(ReadRaw<double>(data));
    case SQL_BOOLEAN:
        return QVariant(ReadRaw<FB_BOOLEAN>(data) != 0);
    case SQL_TEXT:
        return QVariant(FromWin1252(QByteArray(data, var.sqllen)));
    case SQL_VARYING: {
        const auto length = std::clamp<int>(ReadRaw<short>(data), 0, var.sqllen);
        return QVariant(FromWin1252(QByteArray(data + 2, length)));
    }
    case SQL_TYPE_DATE: {
        tm t{};
        const auto raw = ReadRaw<ISC_DATE>(data);
        Fb().decode_sql_date(&raw, &t);
        return QVariant(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday));
    }
    case SQL_TYPE_TIME: {
        const auto raw = ReadRaw<ISC_TIME>(data);
        return QVariant(QTime::fromMSecsSinceStartOfDay(static_cast<int>(raw / 10)));
    }
    case SQL_TIMESTAMP: {
        tm t{};
        const auto raw = ReadRaw<ISC_TIMESTAMP>(data);
        Fb().decode_timestamp(&raw, &t);
        return QVariant(QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                                  QTime::fromMSecsSinceStartOfDay(static_cast<int>(raw.timestamp_time / 10))));
    }
    default:
        // Blobs and arrays are never read by this program; a marker keeps a
        // careless read from passing for a number.
        return QVariant(QStringLiteral("(BLOB)"));
    }
}

int BufferSize(const XSQLVAR &var)
{
    switch (var.sqltype & ~1) {
    case SQL_VARYING:
        return var.sqllen + 2;
    default:
        return std::max<int>(var.sqllen, 8);
    }
}

template <class T>
void Unregister(std::vector<T *> &list, T *item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

QString FbClientError()
{
    return QString::fromStdString(platform::FbClient().error);
}

QString FbClientPath()
{
    return QString::fromStdString(platform::FbClient().path);
}

QString FbClientLoadedText()
{
    const platform::FbClientLoad &client = platform::FbClient();
    QString text = QStringLiteral("Cliente do Firebird carregado: ") + QString::fromStdString(client.path);
    if (!client.version.empty())
        text += QStringLiteral(" (versão ") + QString::fromStdString(client.version) + QLatin1Char(')');
    return text;
}

void SettleFbClientSignalHandlers() noexcept
{
    const platform::FbClientLoad &client = platform::FbClient();
    if (!client.loaded)
        return;
    // An attach to an empty name fails at once, without the network, but
    // initialises the client as a real attach would.
    ISC_STATUS status[StatusLength];
    isc_db_handle handle = 0;
    client.functions.attach_database(status, 0, "", &handle, 0, nullptr);
    if (handle)
        client.functions.detach_database(status, &handle);
}

// ---------------------------------------------------------------- database

TFbDatabase::TFbDatabase() = default;

TFbDatabase::~TFbDatabase()
{
    Close();
    for (TFbTransaction *transaction : m_transactions)
        transaction->m_database = nullptr;
    for (TFbQuery *query : m_queries)
        query->m_database = nullptr;
}

void TFbDatabase::Open()
{
    if (Connected())
        return;
    const std::string dpb = BuildDpb(Params);
    const QByteArray name = ToWin1252(DatabaseName, "database name");
    ISC_STATUS status[StatusLength];
    isc_db_handle handle = 0;
    Fb().attach_database(status, static_cast<short>(name.size()), name.constData(), &handle,
                        static_cast<short>(dpb.size()), dpb.data());
    if (Failed(status))
        throw ErrorFrom(status);
    m_handle = handle;
    m_cancelHandle = handle;
    m_lost = false;
}

bool TFbDatabase::CancelOperation(bool abort) noexcept
{
    const platform::FbClientLoad &client = platform::FbClient();
    isc_db_handle handle = m_cancelHandle.load();
    if (!client.loaded || !handle)
        return false;
    ISC_STATUS status[StatusLength];
    client.functions.cancel_operation(status, &handle, abort ? fb_cancel_abort : fb_cancel_raise);
    return !Failed(status);
}

void TFbDatabase::CloseDataSets()
{
    const auto queries = m_queries;
    for (TFbQuery *query : queries)
        query->Close();
}

void TFbDatabase::Close()
{
    CloseDataSets();
    for (TFbTransaction *transaction : m_transactions)
        transaction->Abandon();
    if (m_handle) {
        ISC_STATUS status[StatusLength];
        Fb().detach_database(status, &m_handle);
        m_handle = 0;
    }
    m_cancelHandle = 0;
    m_lost = false;
}

bool TFbDatabase::ReopenIfLost()
{
    if (!m_lost || Connected())
        return false;
    Open();
    return true;
}

void TFbDatabase::DropLostAttachment()
{
    for (TFbQuery *query : m_queries)
        query->Close();
    for (TFbTransaction *transaction : m_transactions)
        transaction->Abandon();
    if (m_handle) {
        ISC_STATUS status[StatusLength];
        Fb().detach_database(status, &m_handle);
        m_handle = 0;
    }
    m_cancelHandle = 0;
    m_lost = true;
}

void TFbDatabase::Fail(const ISC_STATUS *status)
{
    TFbError error = ErrorFrom(status);
    if (error.IsConnectionLost())
        DropLostAttachment();
    throw error;
}

// ------------------------------------------------------------- transaction

TFbTransaction::TFbTransaction() = default;

TFbTransaction::~TFbTransaction()
{
    for (TFbQuery *query : m_queries) {
        query->Close();
        query->m_transaction = nullptr;
    }
    Abandon();
    if (m_database)
        Unregister(m_database->m_transactions, this);
}

void TFbTransaction::SetDefaultDatabase(TFbDatabase *database)
{
    if (database == m_database)
        return;
    if (Active())
        throw KrError(QStringLiteral("Cannot change the database of an active transaction"));
    if (m_database)
        Unregister(m_database->m_transactions, this);
    m_database = database;
    if (m_database)
        m_database->m_transactions.push_back(this);
}

void TFbTransaction::StartTransaction()
{
    if (Active())
        throw KrError(QStringLiteral("Transaction is already active"));
    if (!m_database)
        throw KrError(QStringLiteral("Transaction has no database"));
    if (!m_database->Connected())
        throw KrError(QStringLiteral("Database not connected"));
    const std::string tpb = BuildTpb(Params);
    ISC_STATUS status[StatusLength];
    isc_tr_handle handle = 0;
    Fb().start_transaction(status, &handle, 1, &m_database->m_handle,
                          static_cast<unsigned short>(tpb.size()), tpb.data());
    if (Failed(status))
        m_database->Fail(status);
    m_handle = handle;
}

void TFbTransaction::Commit()
{
    End(true);
}

void TFbTransaction::Rollback()
{
    End(false);
}

void TFbTransaction::End(bool commit)
{
    if (!Active())
        throw KrError(QStringLiteral("Transaction is not active"));
    // Ending the transaction invalidates its cursors.
    for (TFbQuery *query : m_queries)
        query->Close();
    ISC_STATUS status[StatusLength];
    if (commit)
        Fb().commit_transaction(status, &m_handle);
    else
        Fb().rollback_transaction(status, &m_handle);
    if (Failed(status)) {
        if (m_database)
            m_database->Fail(status);
        throw ErrorFrom(status);
    }
    m_handle = 0;
}

void TFbTransaction::Abandon()
{
    if (!m_handle)
        return;
    ISC_STATUS status[StatusLength];
    Fb().rollback_transaction(status, &m_handle);
    m_handle = 0;
}

// ------------------------------------------------------------------- query

struct TFbQuery::Buffers
{
    std::vector<char> descriptor;
    std::vector<std::vector<char>> data;
    std::vector<short> nulls;

    XSQLDA *Sqlda() { return reinterpret_cast<XSQLDA *>(descriptor.data()); }

    void Describe(short count)
    {
        descriptor.assign(XSQLDA_LENGTH(std::max<short>(count, 1)), 0);
        Sqlda()->version = SQLDA_VERSION1;
        Sqlda()->sqln = std::max<short>(count, 1);
    }

    void Bind()
    {
        XSQLDA *da = Sqlda();
        data.assign(da->sqld, {});
        nulls.assign(da->sqld, 0);
        for (int i = 0; i < da->sqld; ++i) {
            XSQLVAR &var = da->sqlvar[i];
            data[i].assign(BufferSize(var), 0);
            var.sqldata = data[i].data();
            var.sqlind = &nulls[i];
        }
    }
};

TFbQuery::TFbQuery() = default;

TFbQuery::~TFbQuery()
{
    Close();
    if (m_database)
        Unregister(m_database->m_queries, this);
    if (m_transaction)
        Unregister(m_transaction->m_queries, this);
}

void TFbQuery::SetDatabase(TFbDatabase *database)
{
    if (database == m_database)
        return;
    Close();
    if (m_database)
        Unregister(m_database->m_queries, this);
    m_database = database;
    if (m_database)
        m_database->m_queries.push_back(this);
}

void TFbQuery::SetTransaction(TFbTransaction *transaction)
{
    if (transaction == m_transaction)
        return;
    Close();
    if (m_transaction)
        Unregister(m_transaction->m_queries, this);
    m_transaction = transaction;
    if (m_transaction)
        m_transaction->m_queries.push_back(this);
}

void TFbQuery::Open()
{
    if (m_active)
        return;
    if (!m_database)
        throw KrError(QStringLiteral("Database not assigned"));
    if (!m_transaction)
        throw KrError(QStringLiteral("Transaction not assigned"));
    m_database->ReopenIfLost();
    if (!m_database->Connected())
        throw KrError(QStringLiteral("Database not connected"));
    if (!m_transaction->DefaultDatabase())
        m_transaction->SetDefaultDatabase(m_database);
    if (!m_transaction->Active())
        m_transaction->StartTransaction();

    const QByteArray sql = ToWin1252(SQL.join(u'\n'), "SQL text");
    m_buffers = new Buffers;
    m_buffers->Describe(1);
    ISC_STATUS status[StatusLength];
    auto fail = [&] {
        Release();
        m_database->Fail(status);
    };
    Fb().dsql_allocate_statement(status, &m_database->m_handle, &m_statement);
    if (Failed(status))
        fail();
    Fb().dsql_prepare(status, &m_transaction->m_handle, &m_statement, 0, sql.constData(), Dialect,
                     m_buffers->Sqlda());
    if (Failed(status))
        fail();
    const short columns = m_buffers->Sqlda()->sqld;
    if (columns > m_buffers->Sqlda()->sqln) {
        m_buffers->Describe(columns);
        Fb().dsql_describe(status, &m_statement, SQLDA_VERSION1, m_buffers->Sqlda());
        if (Failed(status))
            fail();
    }
    m_buffers->Bind();
    Fb().dsql_execute(status, &m_transaction->m_handle, &m_statement, SQLDA_VERSION1, nullptr);
    if (Failed(status))
        fail();

    m_columns.clear();
    const XSQLDA *da = m_buffers->Sqlda();
    for (int i = 0; i < da->sqld; ++i)
        m_columns << FromWin1252(QByteArray(da->sqlvar[i].aliasname, da->sqlvar[i].aliasname_length));
    m_rows.clear();
    m_active = true;
    m_cursorDone = da->sqld == 0;
    m_position = -1;
    m_eof = true;
    if (FetchRow()) {
        m_position = 0;
        m_eof = false;
    }
}

bool TFbQuery::FetchRow()
{
    if (m_cursorDone)
        return false;
    ISC_STATUS status[StatusLength];
    const ISC_STATUS result = Fb().dsql_fetch(status, &m_statement, SQLDA_VERSION1, m_buffers->Sqlda());
    if (result == 100) {
        m_cursorDone = true;
        Fb().dsql_free_statement(status, &m_statement, DSQL_close);
        return false;
    }
    if (Failed(status)) {
        TFbDatabase *database = m_database;
        Close();
        database->Fail(status);
    }
    QVariantList row;
    const XSQLDA *da = m_buffers->Sqlda();
    row.reserve(da->sqld);
    for (int i = 0; i < da->sqld; ++i)
        row << ColumnValue(da->sqlvar[i]);
    m_rows.push_back(std::move(row));
    return true;
}

void TFbQuery::First()
{
    if (!m_active)
        throw KrError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    m_position = m_rows.empty() ? -1 : 0;
    m_eof = m_rows.empty();
}

void TFbQuery::Next()
{
    if (!m_active)
        throw KrError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (m_eof)
        return;
    if (m_position + 1 < static_cast<int>(m_rows.size()) || FetchRow())
        ++m_position;
    else
        m_eof = true;
}

QVariant TFbQuery::FieldByName(const QString &name) const
{
    if (!m_active)
        throw KrError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const QString wanted = name.trimmed();
    const auto found = std::find_if(m_columns.cbegin(), m_columns.cend(), [&](const QString &column) {
        return column.compare(wanted, Qt::CaseInsensitive) == 0;
    });
    const qsizetype column = found - m_columns.cbegin();
    if (found == m_columns.cend())
        throw KrError(QStringLiteral("Field '%1' not found").arg(name));
    if (m_position < 0)
        return QVariant();
    return m_rows[m_position][column];
}

qint32 TFbQuery::FieldByNameAsInteger(const QString &name) const
{
    const QVariant value = FieldByName(name);
    if (value.isNull())
        return 0;
    constexpr qint64 Min = std::numeric_limits<qint32>::min();
    constexpr qint64 Max = std::numeric_limits<qint32>::max();
    qint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
        number = value.toLongLong();
        break;
    case QMetaType::Double: {
        const double d = std::round(value.toDouble());
        if (!(d >= double(Min) && d <= double(Max)))
            throw KrError(QStringLiteral("Value %1 of field '%2' is out of the integer range").arg(value.toString(), name));
        number = static_cast<qint64>(d);
        break;
    }
    case QMetaType::Bool:
        number = value.toBool() ? 1 : 0;
        break;
    default: {
        bool ok = false;
        number = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw KrError(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    }
    }
    if (number < Min || number > Max)
        throw KrError(QStringLiteral("Value %1 of field '%2' is out of the integer range").arg(number).arg(name));
    return static_cast<qint32>(number);
}

void TFbQuery::Close()
{
    Release();
    m_active = false;
    m_eof = true;
    m_cursorDone = true;
    m_position = -1;
    m_rows.clear();
    m_columns.clear();
}

void TFbQuery::Release()
{
    if (m_statement) {
        ISC_STATUS status[StatusLength];
        Fb().dsql_free_statement(status, &m_statement, DSQL_drop);
        m_statement = 0;
    }
    delete m_buffers;
    m_buffers = nullptr;
}

// By the codes alone: the client's English text is never read.
TFailureKind TFbError::Kind(TFailureStage stage) const
{
    const auto any = [this](std::initializer_list<ISC_STATUS> codes) {
        for (ISC_STATUS code : codes) {
            if (HasCode(code))
                return true;
        }
        return false;
    };
    if (m_gdsCode == ClientNotLoaded)
        return TFailureKind::ClientMissing;
    // The first code is often a general one ("Dynamic SQL Error",
    // "unsuccessful metadata update"): the specific causes are looked for
    // among all of them first.
    if (any({isc_dsql_relation_err}))
        return TFailureKind::TableMissing;
    if (any({isc_dsql_field_err}))
        return TFailureKind::ColumnMissing;
    if (any({isc_login}))
        return TFailureKind::Login;
    if (any({isc_io_error, isc_io_open_err}))
        return TFailureKind::DatabaseFileMissing;
    if (any({isc_bad_db_format}))
        return TFailureKind::NotADatabase;
    if (any({isc_shutdown, isc_shutinprog}))
        return TFailureKind::DatabaseShutDown;
    if (any({isc_cancelled}))
        return TFailureKind::TimedOut;
    // A connection the peer closes before the server's first answer (a
    // port forwarder whose server is down, a server that dies at once)
    // comes back as a rejected connection.
    if (any({isc_network_error, isc_net_connect_err, isc_connect_reject}))
        return stage == TFailureStage::Connect ? TFailureKind::Unreachable : TFailureKind::Lost;
    // The server answered, and could not open the database: after the
    // network codes, which a server that did not answer gives beside it.
    if (any({isc_unavailable}))
        return TFailureKind::DatabaseUnavailable;
    if (any({isc_net_read_err, isc_net_write_err, isc_att_shutdown, isc_conn_lost, isc_lost_db_connection,
             isc_bad_db_handle}))
        return TFailureKind::Lost;
    if (any({isc_no_priv}))
        return TFailureKind::PermissionDenied;
    if (any({isc_lock_conflict, isc_deadlock}))
        return TFailureKind::Busy;
    if (any({isc_dsql_error}))
        return TFailureKind::Refused;
    return TFailureKind::Unknown;
}
