#pragma once
// One reconciliation cycle: read the open tabs from the ERP, write to the
// turnstile only what changed since the last cycle.
#include "engine/comanda.h"
#include "engine/sync_ports.h"

#include <QString>
#include <QStringList>
#include <QList>
#include <QVariant>
#include <exception>
#include <optional>

namespace sql {
inline const QString ErpOpenTabs = QStringLiteral("SELECT COM_NUMERO FROM COMANDAS WHERE COM_TOTAL > 0");
inline const QString ResetAll = QStringLiteral("update cad_comanda set fl_comanda = 1");
// The reset that leaves the rows of the tabs still open alone: every other
// row, a row without a number included, is marked closed. With no tab open
// it is ResetAll.
QString ResetAllBut(QList<qint32> open);
QString Removal(qint32 numero);
QString OpenRow(qint32 numero);
QString ClosedRow(qint32 numero);
} // namespace sql

// Colours in the 0x00BBGGRR form.
inline constexpr quint32 StatusColorBusy = 168;     // dark red
inline constexpr quint32 StatusColorDone = 42579;   // green
inline constexpr quint32 StatusColorFailed = 0xFF;  // red

QString StatusSynchronised(qint64 elapsedMs);
QString StatusFailed();
// A cycle that could not read the ERP: the status names the side.
QString StatusErpFailed();
QString CountersCaption(int enviadas, int abertas);

// A tab write the turnstile refused while its connection stayed up.
struct TRejectedWrite {
    qint32 numero = 0;
    int flag = 0; // 0 open, 1 closed
    QString error;
    std::exception_ptr exception;
};

struct CycleOutcome {
    enum Kind {
        Skipped,       // not connected, or a cycle already running
        Done,          // read and written; see rejected for writes refused
        QueryFailed,   // the ERP query could not be opened; nothing changed
        Failed,        // failed after the query was open
    };
    enum Side { NoSide, Erp, Turnstile };
    Kind kind = Skipped;
    Side side = NoSide; // where a failure came from
    QString error;
    std::exception_ptr exception; // the failure itself, for its codes
    qint64 elapsedMs = 0;
    bool turnstileClosed = false; // the turnstile connection is closed afterwards
    bool timedOut = false;        // the failure was a call that ran out of its bound
    bool resetDone = false;       // the reset ran in this cycle
    QStringList writes;           // one line per tab write done, for the log
    QList<TRejectedWrite> rejected;
    QStringList skippedRows;      // ERP rows whose tab number cannot be written

    // Everything the ERP said is now in the turnstile.
    bool Synchronised() const { return kind == Done && rejected.isEmpty(); }
};

// The tab number of an ERP row, when the turnstile's 32-bit column can hold
// it; a NULL or a number out of range has none.
std::optional<qint32> TabNumberOf(const QVariant &value);

class TReconciliador
{
public:
    TComandaList Comandas;
    bool Sincronizando = false;
    qint32 Enviadas = 0;
    qint32 Abertas = 0;

    // Runs one cycle (the timer's tick). Never throws: a failure is reported
    // in the outcome, after the labels have been brought up to date. With
    // reset, once this cycle's tabs are written, every row but those of the
    // tabs this cycle read open is marked closed. The open tabs go first and
    // are left out of the reset, so no moment and no broken link between two
    // statements has a tab the ERP has open read closed; the turnstile's
    // table may be MyISAM, where a transaction would not help. A reset not
    // reached or refused is owed still (outcome.resetDone false).
    CycleOutcome TMSincroTimer(ITurnstileLink &turnstile, IOpenTabsSource &erp, ICycleView &view, bool reset = false);

    // A user's connect writes every tab as closed; forgetting the list makes
    // the next cycle write every open tab as open again.
    void ConnectionReset();

private:
    void ConfereComanda(qint32 numero);
    void ReconectarCatraca(ITurnstileLink &turnstile);
    // False when the turnstile refused the write; raises when the
    // connection is gone, since no later write could get through either.
    bool WriteTab(ITurnstileLink &turnstile, qint32 numero, int flag, CycleOutcome &outcome);
};
