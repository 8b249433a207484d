#include "system/kr_message.h"

#include "system/kr_alert_sound.h"

#include <QDebug>

namespace {
MessagePresenter &presenter()
{
    static MessagePresenter p;
    return p;
}
} // namespace

void SetMessagePresenter(MessagePresenter p)
{
    presenter() = std::move(p);
}

int ShowMessageDialog(const QString &title, const QString &text, TDialogKind kind, bool listMode)
{
    PlayAlertSound(kind);

    MessageRequest request;
    request.title = title;
    request.text = text;
    request.kind = kind;
    if (listMode) {
        request.items = DialogListItems;
        request.values = DialogListValues;
        request.listDefault = DialogListDefault;
        request.listVisible = !DialogListItems.isEmpty();
    }

    MessageOutcome outcome;
    if (presenter()) {
        try {
            outcome = presenter()(request);
        } catch (...) {
            // A message never aborts its caller.
            outcome = MessageOutcome{};
        }
    } else {
        qWarning().noquote() << title + QStringLiteral(": ") + text;
    }
    const int result = outcome.result == 1 ? 1 : 2;

    if (listMode) {
        DialogListChoice = DialogListDefault;
        if (result == 1 && outcome.selectedIndex >= 0 && outcome.selectedIndex < DialogListValues.size())
            DialogListChoice = DialogListValues.at(outcome.selectedIndex);
    }
    return result;
}

int ShowErrorMessage(const QString &title, const QString &text, bool listMode)
{
    return ShowMessageDialog(title, text, dkError, listMode);
}

int ShowInfoMessage(const QString &title, const QString &text, bool listMode)
{
    return ShowMessageDialog(title, text, dkInformation, listMode);
}
