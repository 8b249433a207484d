#pragma once
// What the notification-area icon's tooltip tells: the state, when the last
// cycle synchronised, how many tabs are open and, while failing, the error.
#include "engine/sync_engine.h"

#include <QDateTime>
#include <QString>

// The classic Windows tray tooltip holds 127 characters; the same limit
// everywhere keeps what one sees the same.
inline constexpr int TrayTooltipMaxLength = 127;

struct TTrayFacts {
    TSyncTrayState state = TSyncTrayState::Waiting;
    QDateTime lastSynchronised; // invalid: none yet
    int openTabs = -1;          // negative: not counted yet
    QString lastError;          // empty unless a failure episode is open
};

// One line per fact. The error is cut to what fits, its address dropped
// first; `now` decides whether the date is worth showing.
QString TrayTooltip(const TTrayFacts &facts, const QDateTime &now, int maxLength = TrayTooltipMaxLength);

// A notification holds 255 characters on Windows.
inline constexpr int BalloonMaxLength = 255;

// What happened, and on the next line the failure's message without the
// client's own text, which the box and the log keep for the technician.
QString BalloonText(const QString &text, const QString &failure, int maxLength = BalloonMaxLength);
