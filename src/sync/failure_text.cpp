#include "sync/failure_text.h"

#include "erp/fb_client.h"
#include "sync/mysql_connection.h"
#include "sync/turnstile_settings.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <initializer_list>

namespace {

enum class TCause {
    Unreachable,
    UnknownHost,
    TimedOut,
    Lost,
    Login,
    HostRefused,
    DatabaseDenied,
    UnknownDatabase,
    DatabaseFileMissing,
    NotADatabase,
    DatabaseShutDown,
    DatabaseUnavailable,
    ClientRejected,
    SettingsFileMissing,
    TableMissing,
    ColumnMissing,
    PermissionDenied,
    Busy,
    Overloaded,
    SecureChannel,
    AuthPlugin,
    ClientMissing,
    Refused,
    Unknown,
};

TCause MySqlCause(unsigned int code, TFailureStage stage)
{
    switch (code) {
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_IPSOCK_ERROR:
    case CR_SOCKET_CREATE_ERROR:
        return TCause::Unreachable;
    case CR_UNKNOWN_HOST:
        return TCause::UnknownHost;
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
        // During the handshake the server took the connection and then said
        // nothing useful: to the user that is a server that does not answer.
        return stage == TFailureStage::Connect ? TCause::Unreachable : TCause::Lost;
    case CR_SERVER_GONE_ERROR:
    case ER_CONNECTION_KILLED:
    case ER_NET_READ_INTERRUPTED:
        return TCause::Lost;
    case ER_SERVER_SHUTDOWN:
        return TCause::DatabaseShutDown;
    case ER_ACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR:
        return TCause::Login;
    case ER_HOST_NOT_PRIVILEGED:
    case ER_HOST_IS_BLOCKED:
        return TCause::HostRefused;
    case ER_DBACCESS_DENIED_ERROR:
        return TCause::DatabaseDenied;
    case ER_BAD_DB_ERROR:
        return TCause::UnknownDatabase;
    case ER_NO_SUCH_TABLE:
        return TCause::TableMissing;
    case ER_BAD_FIELD_ERROR:
        return TCause::ColumnMissing;
    case ER_TABLEACCESS_DENIED_ERROR:
    case ER_COLUMNACCESS_DENIED_ERROR:
    case ER_SPECIFIC_ACCESS_DENIED_ERROR:
    case ER_OPTION_PREVENTS_STATEMENT:
        return TCause::PermissionDenied;
    case ER_LOCK_WAIT_TIMEOUT:
    case ER_LOCK_DEADLOCK:
        return TCause::Busy;
    case ER_CON_COUNT_ERROR:
    case ER_TOO_MANY_USER_CONNECTIONS:
        return TCause::Overloaded;
    case ER_QUERY_INTERRUPTED:
    case ER_STATEMENT_TIMEOUT:
        return TCause::TimedOut;
    case CR_SSL_CONNECTION_ERROR:
        return TCause::SecureChannel;
    case CR_AUTH_PLUGIN_CANNOT_LOAD:
        return TCause::AuthPlugin;
    default:
        break;
    }
    // The server's own codes: it answered, and said no to the statement.
    return code >= 1000 && code < 2000 ? TCause::Refused : TCause::Unknown;
}

TCause FirebirdCause(const TFbError &error, TFailureStage stage)
{
    const auto any = [&error](std::initializer_list<ISC_STATUS> codes) {
        for (ISC_STATUS code : codes) {
            if (error.HasCode(code))
                return true;
        }
        return false;
    };
    if (error.GdsCode() == TFbError::ClientNotLoaded)
        return TCause::ClientMissing;
    // The first code is often a general one ("Dynamic SQL Error",
    // "unsuccessful metadata update"): the specific causes are looked for
    // among all of them first.
    if (any({isc_dsql_relation_err}))
        return TCause::TableMissing;
    if (any({isc_dsql_field_err}))
        return TCause::ColumnMissing;
    if (any({isc_login}))
        return TCause::Login;
    if (any({isc_io_error, isc_io_open_err}))
        return TCause::DatabaseFileMissing;
    if (any({isc_bad_db_format}))
        return TCause::NotADatabase;
    if (any({isc_shutdown, isc_shutinprog}))
        return TCause::DatabaseShutDown;
    if (any({isc_cancelled}))
        return TCause::TimedOut;
    if (any({isc_network_error, isc_net_connect_err}))
        return stage == TFailureStage::Connect ? TCause::Unreachable : TCause::Lost;
    // Both come from a server that answered: after the network codes, which
    // a server that did not answer gives beside them.
    if (any({isc_unavailable}))
        return TCause::DatabaseUnavailable;
    if (any({isc_connect_reject}))
        return TCause::ClientRejected;
    if (any({isc_net_read_err, isc_net_write_err, isc_att_shutdown, isc_conn_lost, isc_lost_db_connection,
             isc_bad_db_handle}))
        return TCause::Lost;
    if (any({isc_no_priv}))
        return TCause::PermissionDenied;
    if (any({isc_lock_conflict, isc_deadlock}))
        return TCause::Busy;
    if (any({isc_dsql_error}))
        return TCause::Refused;
    return TCause::Unknown;
}

TCause CauseOf(const std::exception &error, TFailureStage stage)
{
    if (dynamic_cast<const TCallTimedOut *>(&error))
        return TCause::TimedOut;
    if (dynamic_cast<const turnstile::TSettingsFileMissing *>(&error))
        return TCause::SettingsFileMissing;
    if (const auto *mysql = dynamic_cast<const TMySqlError *>(&error))
        return MySqlCause(mysql->Code(), stage);
    if (const auto *firebird = dynamic_cast<const TFbError *>(&error))
        return FirebirdCause(*firebird, stage);
    return TCause::Unknown;
}

QString Lead(TFailureSide side, TFailureStage stage)
{
    const QString database = side == TFailureSide::Turnstile ? QStringLiteral("banco de dados da catraca")
                                                             : QStringLiteral("banco de dados do ERP");
    switch (stage) {
    case TFailureStage::Connect:
        return QStringLiteral("Não foi possível conectar ao ") + database;
    case TFailureStage::Read:
        return QStringLiteral("Não foi possível ler o ") + database;
    case TFailureStage::Write:
        break;
    }
    return QStringLiteral("Não foi possível gravar no ") + database;
}

// What happened, then what to check, each one sentence. The turnstile's
// settings are the main window's fields; the ERP's, its connection dialog.
QString Explanation(TCause cause, TFailureSide side)
{
    const bool turnstile = side == TFailureSide::Turnstile;
    const auto bySide = [turnstile](const char *turnstileText, const char *erpText) {
        return QString::fromUtf8(turnstile ? turnstileText : erpText);
    };
    const QString server = bySide("MySQL", "Firebird");
    const QString table = bySide("cad_comanda", "COMANDAS");
    switch (cause) {
    case TCause::Unreachable:
        return QStringLiteral("o servidor não respondeu. Verifique se o servidor %1 está ligado e se o endereço e a "
                              "porta estão corretos.")
            .arg(server);
    case TCause::UnknownHost:
        return QStringLiteral("o endereço do servidor não foi encontrado na rede. ")
            + bySide("Verifique o campo SERVIDOR.",
                     "Verifique o número IP do servidor nas configurações do banco de dados do ERP.");
    case TCause::TimedOut:
        return QStringLiteral("o servidor parou de responder. Verifique se o servidor %1 está funcionando e se a "
                              "rede até ele não está lenta ou interrompida.")
            .arg(server);
    case TCause::Lost:
        return QStringLiteral("a conexão com o servidor caiu. Verifique se o servidor %1 continua ligado e se a "
                              "rede até ele está funcionando.")
            .arg(server);
    case TCause::Login:
        return QStringLiteral("o usuário ou a senha não foram aceitos. ")
            + bySide("Verifique os campos USUÁRIO e SENHA.",
                     "Verifique o usuário e a senha nas configurações avançadas do banco de dados do ERP.");
    case TCause::HostRefused:
        return QStringLiteral("o servidor não aceita conexões deste computador. Peça ao responsável pelo servidor "
                              "%1 que libere o acesso deste computador.")
            .arg(server);
    // MySQL answers so for a database that does not exist too, unless the
    // user may see every database.
    case TCause::DatabaseDenied:
        return QStringLiteral("esse banco de dados não existe no servidor, ou o usuário não tem acesso a ele. "
                              "Verifique os campos BASE DADOS e USUÁRIO.");
    case TCause::UnknownDatabase:
        return QStringLiteral("esse banco de dados não existe no servidor. Verifique o campo BASE DADOS.");
    case TCause::DatabaseFileMissing:
        return QStringLiteral("o arquivo do banco de dados não foi encontrado no servidor, ou não pôde ser aberto. "
                              "Verifique o caminho do banco de dados nas configurações do banco de dados do ERP.");
    case TCause::NotADatabase:
        return QStringLiteral("o arquivo indicado não é um banco de dados do Firebird. Verifique o caminho do banco "
                              "de dados nas configurações do banco de dados do ERP.");
    case TCause::DatabaseShutDown:
        return QStringLiteral("o banco de dados foi desligado no servidor. Verifique se o servidor %1 está sendo "
                              "reiniciado ou em manutenção.")
            .arg(server);
    case TCause::DatabaseUnavailable:
        return QStringLiteral("o servidor respondeu, mas não conseguiu abrir o banco de dados. Verifique o caminho do "
                              "banco de dados nas configurações do banco de dados do ERP, e se o servidor %1 está "
                              "funcionando corretamente.")
            .arg(server);
    case TCause::ClientRejected:
        // Also what a program at that port that is not the server, or a
        // link that drops the connection during the greeting, leads to.
        return QStringLiteral("o servidor recusou a conexão. Verifique se o endereço e a porta são mesmo os do servidor "
                              "Firebird e se o cliente do Firebird (fbclient) deste computador é compatível com ele "
                              "(versão, autenticação e criptografia).");
    // The way to a new file is the window's fields: leaving one, or the
    // connect, writes them.
    case TCause::SettingsFileMissing:
        return QStringLiteral("o arquivo de configurações da catraca (%1) não foi encontrado na pasta do programa. "
                              "Confira os campos SERVIDOR, PORTA, BASE DADOS, USUÁRIO e SENHA na janela do programa e "
                              "pressione Conectar F2 para gravá-lo, ou copie o arquivo para a pasta do programa.")
            .arg(turnstile::SettingsFileName);
    case TCause::TableMissing:
        return QStringLiteral("a tabela %1 não existe nesse banco de dados. ").arg(table)
            + bySide("Verifique se o campo BASE DADOS indica o banco de dados da catraca.",
                     "Verifique se o caminho nas configurações do banco de dados do ERP indica o banco de dados "
                     "do ERP.");
    case TCause::ColumnMissing:
        return QStringLiteral("a tabela %1 não tem as colunas esperadas. ").arg(table)
            + bySide("Verifique se o campo BASE DADOS indica o banco de dados da catraca, e se ele está atualizado.",
                     "Verifique se o caminho nas configurações do banco de dados do ERP indica o banco de dados "
                     "do ERP, e se ele está atualizado.");
    case TCause::PermissionDenied:
        return QStringLiteral("o usuário não tem permissão para esta operação na tabela %1. Peça ao responsável "
                              "pelo servidor %2 que dê essa permissão ao usuário.")
            .arg(table, server);
    case TCause::Busy:
        return QStringLiteral("a tabela %1 está bloqueada por outro programa. Verifique se outro programa está "
                              "gravando nela ao mesmo tempo.")
            .arg(table);
    case TCause::Overloaded:
        return QStringLiteral("o servidor recusou a conexão por ter conexões demais abertas. Feche os programas que "
                              "não estão em uso ou reinicie o servidor %1.")
            .arg(server);
    case TCause::SecureChannel:
        return QStringLiteral("a conexão segura (SSL) com o servidor falhou. Verifique as configurações de SSL do "
                              "servidor %1.")
            .arg(server);
    case TCause::AuthPlugin:
        return QStringLiteral("o cliente MySQL não conseguiu carregar o método de autenticação que o servidor pede. "
                              "Verifique se a pasta de plugins do MySQL está junto do programa.");
    case TCause::ClientMissing:
        return QStringLiteral("o cliente do Firebird (fbclient) não foi encontrado neste computador. Instale o "
                              "cliente do Firebird ou coloque o fbclient na pasta do programa.");
    case TCause::Refused:
        return QStringLiteral("o servidor recusou o comando. Verifique se a tabela %1 tem a estrutura esperada.")
            .arg(table);
    case TCause::Unknown:
        break;
    }
    return QStringLiteral("ocorreu um erro inesperado. Se ele continuar, informe ao técnico o texto entre "
                          "colchetes.");
}

} // namespace

QString DescribeFailure(TFailureSide side, TFailureStage stage, const QString &address, const std::exception &error,
                        TFailureRetry retry)
{
    QString text = Lead(side, stage);
    if (!address.isEmpty())
        text += QStringLiteral(" (%1)").arg(address);
    text += QStringLiteral(": ") + Explanation(CauseOf(error, stage), side);
    if (retry == TFailureRetry::KeepsTrying)
        text += QStringLiteral(" O programa continua tentando.");
    const QString detail = ErrorMessageOf(error).simplified();
    if (!detail.isEmpty())
        text += QStringLiteral(" [%1]").arg(detail);
    return text;
}
