#include "sync/reconciliation.h"

#include "uikit/kr_error.h"

#include <QElapsedTimer>
#include <exception>

namespace sql {
QString Removal(qint32 numero)
{
    return QStringLiteral("delete from cad_comanda where num_comanda = ") + QString::number(numero);
}
QString OpenRow(qint32 numero)
{
    return QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (") + QString::number(numero)
           + QStringLiteral(", 0)");
}
QString ClosedRow(qint32 numero)
{
    return QStringLiteral("insert into cad_comanda (num_comanda, fl_comanda) values (") + QString::number(numero)
           + QStringLiteral(", 1)");
}
} // namespace sql

QString StatusSynchronised(qint64 elapsedMs)
{
    return QStringLiteral("SINCRONIZADO - ") + QString::number(elapsedMs) + QStringLiteral(" ms");
}

QString StatusFailed()
{
    return QStringLiteral("FALHA NA SINCRONIZAÇÃO");
}

QString CountersCaption(int enviadas, int abertas)
{
    return QString::number(enviadas) + QStringLiteral(" enviadas nesta sessão") + QChar(13) + QString::number(abertas)
           + QStringLiteral(" comandas abertas");
}

namespace {
QString messageOf(const std::exception &e)
{
    if (const auto *kr = dynamic_cast<const KrError *>(&e))
        return kr->message();
    return QString::fromLocal8Bit(e.what());
}
} // namespace

void TReconciliador::ConnectionReset()
{
    Comandas.Clear();
}

void TReconciliador::ConfereComanda(qint32 numero)
{
    const int i = Comandas.IndexOf(numero);
    if (i >= 0)
        // Nova stays as it is: an open write that failed is tried again.
        Comandas.At(i).Encerrada = false;
    else
        Comandas.Append(numero);
}

void TReconciliador::ReconectarCatraca(ITurnstileLink &turnstile)
{
    turnstile.Reconnect();
}

void TReconciliador::WriteTab(ITurnstileLink &turnstile, qint32 numero, int flag, CycleOutcome &outcome)
{
    ++Enviadas; // counts every write begun, also one that then fails
    outcome.writes << QStringLiteral("comanda %1 gravada como %2").arg(numero).arg(flag == 0 ? "aberta" : "fechada");
    ReconectarCatraca(turnstile);
    turnstile.ExecuteDirect(sql::Removal(numero));
    turnstile.ExecuteDirect(flag == 0 ? sql::OpenRow(numero) : sql::ClosedRow(numero));
}

CycleOutcome TReconciliador::TMSincroTimer(ITurnstileLink &turnstile, IOpenTabsSource &erp, ICycleView &view)
{
    CycleOutcome outcome;
    if (!turnstile.Connected() || Sincronizando)
        return outcome;

    std::unique_ptr<IOpenTabsQuery> query;
    try {
        query = erp.OpenQuery(sql::ErpOpenTabs);
    } catch (const std::exception &e) {
        outcome.kind = CycleOutcome::QueryFailed;
        outcome.error = messageOf(e);
    } catch (...) {
        outcome.kind = CycleOutcome::QueryFailed;
        outcome.error = QStringLiteral("Erro inesperado.");
    }
    if (!query) {
        view.ShowStatus(StatusFailed(), StatusColorFailed);
        view.ShowCounters(CountersCaption(Enviadas, Abertas));
        return outcome;
    }

    Sincronizando = true;
    view.ShowStatus(QStringLiteral("SINCRONIZANDO"), StatusColorBusy);
    view.LetEventsRun();
    QElapsedTimer clock;
    clock.start();

    outcome.kind = CycleOutcome::Done;
    bool finished = false;
    try {
        for (int i = 0; i < Comandas.Count(); ++i)
            Comandas.At(i).Encerrada = true;

        query->First();
        while (!query->Eof()) {
            ConfereComanda(query->FieldAsInteger(QStringLiteral("COM_NUMERO")));
            query->Next();
        }
        Abertas = query->RecordCount();
        // The result is read; end the ERP transaction before the slow writes.
        finished = true;
        query->Finish();

        const int count = Comandas.Count();
        for (int i = count - 1; i >= 0; --i) {
            TComanda &c = Comandas.At(i);
            if (c.Nova) {
                WriteTab(turnstile, c.Numero, 0, outcome);
                c.Nova = false;
            }
            if (c.Encerrada) {
                WriteTab(turnstile, c.Numero, 1, outcome);
                Comandas.MarkRemoved(i);
            }
        }
    } catch (const std::exception &e) {
        outcome.kind = CycleOutcome::Failed;
        outcome.error = messageOf(e);
    } catch (...) {
        outcome.kind = CycleOutcome::Failed;
        outcome.error = QStringLiteral("Erro inesperado.");
    }
    Comandas.Compact();

    outcome.elapsedMs = clock.elapsed();
    if (outcome.kind == CycleOutcome::Done)
        view.ShowStatus(StatusSynchronised(outcome.elapsedMs), StatusColorDone);
    else
        view.ShowStatus(StatusFailed(), StatusColorFailed);
    view.ShowCounters(CountersCaption(Enviadas, Abertas));
    Sincronizando = false;
    try {
        if (!finished)
            query->Finish();
    } catch (...) {
        // Closing a query on a lost connection can fail too; the cycle's own
        // error, if any, is the one worth showing.
    }
    query.reset();
    outcome.turnstileClosed = !turnstile.Connected();
    return outcome;
}
