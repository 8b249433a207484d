#include "engine/reconciliation.h"

#include "base/kr_error.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

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
QString ResetAllBut(QList<qint32> open)
{
    if (open.isEmpty())
        return ResetAll;
    std::sort(open.begin(), open.end());
    open.erase(std::unique(open.begin(), open.end()), open.end());
    QStringList numbers;
    numbers.reserve(open.size());
    for (qint32 n : open)
        numbers << QString::number(n);
    // "not in" alone is never true for a NULL number; the plain reset closed
    // such a row too.
    return ResetAll + QStringLiteral(" where num_comanda not in (") + numbers.join(QStringLiteral(", "))
           + QStringLiteral(") or num_comanda is null");
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

QString StatusErpFailed()
{
    return QStringLiteral("FALHA NA LEITURA DO ERP");
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

std::optional<qint32> TabNumberOf(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    constexpr qint64 Min = std::numeric_limits<qint32>::min();
    constexpr qint64 Max = std::numeric_limits<qint32>::max();
    bool ok = false;
    qint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        // The usual column types, read without a detour through text: this
        // runs once per open tab in every cycle.
        number = value.toLongLong(&ok);
        break;
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (!(d >= double(Min) && d <= double(Max)) || d != std::floor(d))
            return std::nullopt;
        number = qint64(d);
        ok = true;
        break;
    }
    default:
        number = value.toString().trimmed().toLongLong(&ok);
    }
    if (!ok || number < Min || number > Max)
        return std::nullopt;
    return qint32(number);
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
    try {
        turnstile.Reconnect();
    } catch (...) {
        // A refused connection is often a one-off: once more before the pass
        // gives the turnstile up for lost.
        turnstile.Reconnect();
    }
}

bool TReconciliador::WriteTab(ITurnstileLink &turnstile, qint32 numero, int flag, CycleOutcome &outcome)
{
    ++Enviadas; // counts every write begun, also one that then fails
    ReconectarCatraca(turnstile);
    try {
        turnstile.ExecuteAtomically({sql::Removal(numero), flag == 0 ? sql::OpenRow(numero) : sql::ClosedRow(numero)});
    } catch (const std::exception &e) {
        if (!turnstile.Connected())
            throw;
        outcome.rejected << TRejectedWrite{numero, flag, messageOf(e), std::current_exception()};
        return false;
    }
    outcome.writes << QStringLiteral("comanda %1 gravada como %2").arg(numero).arg(flag == 0 ? "aberta" : "fechada");
    return true;
}

CycleOutcome TReconciliador::TMSincroTimer(ITurnstileLink &turnstile, IOpenTabsSource &erp, ICycleView &view,
                                           bool reset)
{
    CycleOutcome outcome;
    if (!turnstile.Connected() || Sincronizando)
        return outcome;

    auto fail = [&outcome](CycleOutcome::Kind kind, CycleOutcome::Side side, const std::exception &e) {
        outcome.kind = kind;
        outcome.side = side;
        outcome.error = messageOf(e);
        outcome.exception = std::current_exception();
        outcome.timedOut = dynamic_cast<const TCallTimedOut *>(&e) != nullptr;
    };
    auto failUnexpected = [&outcome](CycleOutcome::Kind kind, CycleOutcome::Side side) {
        outcome.kind = kind;
        outcome.side = side;
        outcome.error = QStringLiteral("Erro inesperado.");
    };
    std::unique_ptr<IOpenTabsQuery> query;
    try {
        query = erp.OpenQuery(sql::ErpOpenTabs);
    } catch (const std::exception &e) {
        fail(CycleOutcome::QueryFailed, CycleOutcome::Erp, e);
    } catch (...) {
        failUnexpected(CycleOutcome::QueryFailed, CycleOutcome::Erp);
    }
    if (!query) {
        view.ShowStatus(StatusErpFailed(), StatusColorFailed);
        view.ShowCounters(CountersCaption(Enviadas, Abertas));
        return outcome;
    }

    Sincronizando = true;
    view.ShowStatus(QStringLiteral("SINCRONIZANDO"), StatusColorBusy);
    QElapsedTimer clock;
    clock.start();

    outcome.kind = CycleOutcome::Done;
    bool read = false;
    QList<qint32> open;
    try {
        for (int i = 0; i < Comandas.Count(); ++i)
            Comandas.At(i).Encerrada = true;

        // Row by row: one row the turnstile cannot hold must not keep every
        // other tab from being synchronised.
        int accepted = 0;
        query->First();
        while (!query->Eof()) {
            const QVariant value = query->FieldValue(QStringLiteral("COM_NUMERO"));
            if (const std::optional<qint32> numero = TabNumberOf(value)) {
                ConfereComanda(*numero);
                if (reset)
                    open << *numero;
                ++accepted;
            } else {
                outcome.skippedRows << (value.isNull() ? QStringLiteral("NULL") : value.toString());
            }
            query->Next();
        }
        Abertas = accepted;
        // The result is read; end the ERP transaction before the slow writes.
        read = true;
        query->Finish();
    } catch (const std::exception &e) {
        fail(CycleOutcome::Failed, CycleOutcome::Erp, e);
    } catch (...) {
        failUnexpected(CycleOutcome::Failed, CycleOutcome::Erp);
    }

    if (outcome.kind == CycleOutcome::Done) {
        int writing = -1;
        try {
            const int count = Comandas.Count();
            for (int i = count - 1; i >= 0; --i) {
                TComanda &c = Comandas.At(i);
                writing = i;
                if (c.Nova && WriteTab(turnstile, c.Numero, 0, outcome))
                    c.Nova = false;
                if (c.Encerrada && WriteTab(turnstile, c.Numero, 1, outcome))
                    Comandas.MarkRemoved(i);
            }
            writing = -1;
            if (reset) {
                // A tab whose open write was refused is left out too: its row
                // stays as it was, and its write is tried again.
                turnstile.ExecuteDirect(sql::ResetAllBut(open));
                outcome.resetDone = true;
            } else if (outcome.writes.isEmpty() && outcome.rejected.isEmpty()) {
                // Nothing to write says nothing about the turnstile: ask it,
                // so a dead one is shown within one cycle.
                turnstile.CheckAlive();
            }
        } catch (const std::exception &e) {
            fail(CycleOutcome::Failed, CycleOutcome::Turnstile, e);
        } catch (...) {
            failUnexpected(CycleOutcome::Failed, CycleOutcome::Turnstile);
        }
        // The connection went during this tab's write: its commit may have
        // reached the server or not. The tab is written again, as open if
        // the ERP still has it open, whatever the ERP says next.
        if (writing >= 0)
            Comandas.At(writing).Nova = true;
    }
    Comandas.Compact();

    outcome.elapsedMs = clock.elapsed();
    if (outcome.Synchronised())
        view.ShowStatus(StatusSynchronised(outcome.elapsedMs), StatusColorDone);
    else
        view.ShowStatus(outcome.side == CycleOutcome::Erp ? StatusErpFailed() : StatusFailed(), StatusColorFailed);
    view.ShowCounters(CountersCaption(Enviadas, Abertas));
    Sincronizando = false;
    try {
        if (!read)
            query->Finish();
    } catch (...) {
        // Closing a query on a lost connection can fail too; the cycle's own
        // error, if any, is the one worth showing.
    }
    query.reset();
    outcome.turnstileClosed = !turnstile.Connected();
    return outcome;
}
