#include "engine/failure_text.h"

namespace {

TFailureKind KindOf(const std::exception &error, TFailureStage stage)
{
    // A connection that never got an answer, whether the host is silent or
    // accepted and then said nothing, points at the server and its address;
    // only a call on an open connection has a server that stopped answering.
    if (dynamic_cast<const TCallTimedOut *>(&error))
        return stage == TFailureStage::Connect ? TFailureKind::Unreachable : TFailureKind::TimedOut;
    if (const auto *classified = dynamic_cast<const IClassifiedFailure *>(&error))
        return classified->Kind(stage);
    return TFailureKind::Unknown;
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
QString Explanation(TFailureKind kind, TFailureSide side)
{
    const bool turnstile = side == TFailureSide::Turnstile;
    const auto bySide = [turnstile](const char *turnstileText, const char *erpText) {
        return QString::fromUtf8(turnstile ? turnstileText : erpText);
    };
    const QString server = bySide("MySQL", "Firebird");
    const QString table = bySide("cad_comanda", "COMANDAS");
    switch (kind) {
    case TFailureKind::Unreachable:
        return QStringLiteral("o servidor não respondeu. Verifique se o servidor %1 está ligado e se o endereço e a "
                              "porta estão corretos.")
            .arg(server);
    case TFailureKind::UnknownHost:
        return QStringLiteral("o endereço do servidor não foi encontrado na rede. ")
            + bySide("Verifique o campo SERVIDOR.",
                     "Verifique o número IP do servidor nas configurações do banco de dados do ERP.");
    case TFailureKind::TimedOut:
        return QStringLiteral("o servidor parou de responder. Verifique se o servidor %1 está funcionando e se a "
                              "rede até ele não está lenta ou interrompida.")
            .arg(server);
    case TFailureKind::Lost:
        return QStringLiteral("a conexão com o servidor caiu. Verifique se o servidor %1 continua ligado e se a "
                              "rede até ele está funcionando.")
            .arg(server);
    case TFailureKind::Login:
        return QStringLiteral("o usuário ou a senha não foram aceitos. ")
            + bySide("Verifique os campos USUÁRIO e SENHA.",
                     "Verifique o usuário e a senha nas configurações avançadas do banco de dados do ERP.");
    case TFailureKind::HostRefused:
        return QStringLiteral("o servidor não aceita conexões deste computador. Peça ao responsável pelo servidor "
                              "%1 que libere o acesso deste computador.")
            .arg(server);
    // MySQL answers so for a database that does not exist too, unless the
    // user may see every database.
    case TFailureKind::DatabaseDenied:
        return QStringLiteral("esse banco de dados não existe no servidor, ou o usuário não tem acesso a ele. "
                              "Verifique os campos BASE DADOS e USUÁRIO.");
    case TFailureKind::UnknownDatabase:
        return QStringLiteral("esse banco de dados não existe no servidor. Verifique o campo BASE DADOS.");
    case TFailureKind::DatabaseFileMissing:
        return QStringLiteral("o arquivo do banco de dados não foi encontrado no servidor, ou não pôde ser aberto. "
                              "Verifique o caminho do banco de dados nas configurações do banco de dados do ERP.");
    case TFailureKind::NotADatabase:
        return QStringLiteral("o arquivo indicado não é um banco de dados do Firebird. Verifique o caminho do banco "
                              "de dados nas configurações do banco de dados do ERP.");
    case TFailureKind::DatabaseShutDown:
        return QStringLiteral("o banco de dados foi desligado no servidor. Verifique se o servidor %1 está sendo "
                              "reiniciado ou em manutenção.")
            .arg(server);
    case TFailureKind::DatabaseUnavailable:
        return QStringLiteral("o servidor respondeu, mas não conseguiu abrir o banco de dados. Verifique o caminho do "
                              "banco de dados nas configurações do banco de dados do ERP, e se o servidor %1 está "
                              "funcionando corretamente.")
            .arg(server);
    // The way to a new file is the window's fields: leaving one, or the
    // connect, writes them.
    case TFailureKind::SettingsFileMissing:
        return QStringLiteral("o arquivo de configurações da catraca (dbxconnections.ini) não foi encontrado na pasta "
                              "do programa. Confira os campos SERVIDOR, PORTA, BASE DADOS, USUÁRIO e SENHA na janela "
                              "do programa e pressione Conectar F2 para gravá-lo, ou copie o arquivo para a pasta do "
                              "programa.");
    case TFailureKind::TableMissing:
        return QStringLiteral("a tabela %1 não existe nesse banco de dados. ").arg(table)
            + bySide("Verifique se o campo BASE DADOS indica o banco de dados da catraca.",
                     "Verifique se o caminho nas configurações do banco de dados do ERP indica o banco de dados "
                     "do ERP.");
    case TFailureKind::ColumnMissing:
        return QStringLiteral("a tabela %1 não tem as colunas esperadas. ").arg(table)
            + bySide("Verifique se o campo BASE DADOS indica o banco de dados da catraca, e se ele está atualizado.",
                     "Verifique se o caminho nas configurações do banco de dados do ERP indica o banco de dados "
                     "do ERP, e se ele está atualizado.");
    case TFailureKind::PermissionDenied:
        return QStringLiteral("o usuário não tem permissão para esta operação na tabela %1. Peça ao responsável "
                              "pelo servidor %2 que dê essa permissão ao usuário.")
            .arg(table, server);
    case TFailureKind::Busy:
        return QStringLiteral("a tabela %1 está bloqueada por outro programa. Verifique se outro programa está "
                              "gravando nela ao mesmo tempo.")
            .arg(table);
    case TFailureKind::Overloaded:
        return QStringLiteral("o servidor recusou a conexão por ter conexões demais abertas. Feche os programas que "
                              "não estão em uso ou reinicie o servidor %1.")
            .arg(server);
    case TFailureKind::SecureChannel:
        return QStringLiteral("a conexão segura (SSL) com o servidor falhou. Verifique as configurações de SSL do "
                              "servidor %1.")
            .arg(server);
    case TFailureKind::AuthPlugin:
        return QStringLiteral("o cliente MySQL não conseguiu carregar o método de autenticação que o servidor pede. "
                              "Verifique se a pasta de plugins do MySQL está junto do programa.");
    case TFailureKind::ClientMissing:
        return QStringLiteral("o cliente do Firebird (fbclient) não foi encontrado neste computador. Instale o "
                              "cliente do Firebird ou coloque o fbclient na pasta do programa.");
    case TFailureKind::Refused:
        return QStringLiteral("o servidor recusou o comando. Verifique se a tabela %1 tem a estrutura esperada.")
            .arg(table);
    case TFailureKind::Unknown:
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
    text += QStringLiteral(": ") + Explanation(KindOf(error, stage), side);
    if (retry == TFailureRetry::KeepsTrying)
        text += QStringLiteral(" O programa continua tentando.");
    const QString detail = ErrorMessageOf(error).simplified();
    if (!detail.isEmpty())
        text += QStringLiteral(" [%1]").arg(detail);
    return text;
}
