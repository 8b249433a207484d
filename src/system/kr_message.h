#pragma once
// The message API: every message the program shows goes through these calls.
// The widget layer installs the window that shows them (SetMessagePresenter);
// without one (console tools, logic tests) a message goes to standard error
// and counts as dismissed (result 2).
#include <QString>
#include <QStringList>
#include <functional>

enum TDialogKind : unsigned char {
    dkInformation = 0,
    dkQuestion = 1,
    dkWarning = 2,
    dkError = 3,
    dkWarningQuestion = 4,
};

// List-mode state, shared by the whole process.
inline QStringList DialogListItems;
inline QStringList DialogListValues;
inline QString DialogListDefault;
inline QString DialogListChoice;

int ShowMessageDialog(const QString &title, const QString &text, TDialogKind kind, bool listMode = false);
int ShowErrorMessage(const QString &title, const QString &text, bool listMode = false);
int ShowInfoMessage(const QString &title, const QString &text, bool listMode = false);

// What a presenter reports back: the modal result (1 or 2) and, in list mode,
// the index of the selected entry in DialogListItems (-1 for none).
struct MessageOutcome {
    int result = 2;
    int selectedIndex = -1;
};

struct MessageRequest {
    QString title;
    QString text;
    TDialogKind kind = dkInformation;
    bool listVisible = false;      // list mode with at least one option
    QStringList items;
    QStringList values;
    QString listDefault;
};

using MessagePresenter = std::function<MessageOutcome(const MessageRequest &)>;
void SetMessagePresenter(MessagePresenter presenter);
