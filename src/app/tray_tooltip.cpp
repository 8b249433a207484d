#include "app/tray_tooltip.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

QString StateLine(TSyncTrayState state)
{
    switch (state) {
    case TSyncTrayState::Synchronised:
        return QStringLiteral("Catraca Kolde - sincronizado");
    // Short: the error line below says what failed, and the classic tray
    // tooltip has room for little more.
    case TSyncTrayState::Failing:
        return QStringLiteral("Catraca Kolde - falha");
    // Only the user's own disconnect leaves it grey.
    case TSyncTrayState::Disconnected:
        return QStringLiteral("Catraca Kolde - desconectado da catraca");
    case TSyncTrayState::Waiting:
        break;
    }
    // The icon's hint from creation, before anything happened.
    return QStringLiteral("Catraca Kolde");
}

QString WhenLine(const QDateTime &last, const QDateTime &now)
{
    if (!last.isValid())
        return QStringLiteral("Última sincronização: nenhuma");
    const QString format = last.date() == now.date() ? QStringLiteral("HH:mm:ss") : QStringLiteral("dd/MM HH:mm");
    return QStringLiteral("Última sincronização: ") + last.toString(format);
}

QString Cut(const QString &text, int size)
{
    if (text.size() <= size)
        return text;
    return size > 1 ? text.left(size - 1) + QChar(0x2026) : QString();
}

// Whole sentences of the text, as many as fit; empty when not even one does.
QString Sentences(const QString &text, int room)
{
    qsizetype end = -1;
    for (qsizetype stop = text.indexOf(QStringLiteral(". ")); stop >= 0 && stop + 1 <= room;
         stop = text.indexOf(QStringLiteral(". "), stop + 1))
        end = stop + 1;
    if (text.size() <= room)
        return text;
    return end > 0 ? text.left(end) : QString();
}

QString Shortened(QString error, int room)
{
    if (error.size() <= room)
        return error;
    // "Não foi possível conectar ao banco de dados da catraca (127.0.0.1:3307):
    // ..." says enough without the address, which the box and the log carry.
    error.remove(QRegularExpression(QStringLiteral(" \\([^)]*\\)(?=:)")));
    if (error.size() <= room)
        return error;
    // What failed, whole, before any of the server's own words.
    const qsizetype colon = error.indexOf(QStringLiteral(": "));
    if (colon < 0 || colon > room)
        return Cut(error, room);
    const int detailRoom = room - int(colon) - 2;
    const QString detail = error.mid(colon + 2);
    // What happened, before what to check, each a sentence of its own.
    if (const QString whole = Sentences(detail, detailRoom); !whole.isEmpty())
        return error.left(colon + 2) + whole;
    // A piece of a sentence says less than none; a server's own words, cut,
    // still name the problem.
    constexpr int WorthShowing = 12;
    if (detailRoom < WorthShowing || detail.contains(QStringLiteral(". ")))
        return error.left(colon);
    return error.left(colon + 2) + Cut(detail, detailRoom);
}

} // namespace

QString TrayTooltip(const TTrayFacts &facts, const QDateTime &now, int maxLength)
{
    QStringList lines{StateLine(facts.state), WhenLine(facts.lastSynchronised, now)};
    if (facts.openTabs >= 0)
        lines << QStringLiteral("Comandas abertas: %1").arg(facts.openTabs);
    QString text = lines.join(QLatin1Char('\n'));
    const QString error = facts.lastError.simplified();
    if (!error.isEmpty()) {
        const QString shown = Shortened(error, maxLength - int(text.size()) - 1);
        if (!shown.isEmpty())
            text += QLatin1Char('\n') + shown;
    }
    return text.left(maxLength);
}

QString BalloonText(const QString &text, const QString &failure, int maxLength)
{
    QString detail = failure.simplified();
    if (detail.endsWith(QLatin1Char(']'))) {
        const qsizetype open = detail.lastIndexOf(QStringLiteral(" ["));
        if (open > 0)
            detail.truncate(open);
    }
    if (detail.isEmpty())
        return Cut(text, maxLength);
    const int room = maxLength - int(text.size()) - 1;
    const QString shown = detail.size() <= room ? detail : Shortened(detail, room);
    return shown.isEmpty() ? Cut(text, maxLength) : text + QLatin1Char('\n') + shown;
}
