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
    case TSyncTrayState::Disconnected:
        return QStringLiteral("Catraca Kolde - sem conexão");
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

QString Shortened(QString error, int room)
{
    if (error.size() <= room)
        return error;
    // "Sem conexão com o banco da catraca (127.0.0.1:3307): ..." says enough
    // without the address, which the box and the log still carry.
    error.remove(QRegularExpression(QStringLiteral(" \\([^)]*\\)(?=:)")));
    if (error.size() <= room)
        return error;
    const auto cut = [](const QString &text, int size) {
        return size > 1 ? text.left(size - 1) + QChar(0x2026) : QString();
    };
    // What failed, whole, before any of the server's own words.
    const qsizetype colon = error.indexOf(QStringLiteral(": "));
    if (colon < 0 || colon > room)
        return cut(error, room);
    const int detailRoom = room - int(colon) - 2;
    constexpr int WorthShowing = 12;
    if (detailRoom < WorthShowing)
        return error.left(colon);
    return error.left(colon + 2) + cut(error.mid(colon + 2), detailRoom);
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
