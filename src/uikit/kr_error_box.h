#pragma once
#include <QString>

#include <functional>
// Installs the top-level error display of a widget application: a plain error
// box titled with the application title. The event loop goes on afterwards.
void InstallTopLevelErrorBox();


class QMessageBox;
class QWidget;
// Width a window needs for its title not to be cut in its title bar.
int TitleWidthNeeded(const QString &title);

// The same box, opened without a modal loop: nothing waits for its OK. It
// deletes itself when closed. place, when given, moves it each time it is
// shown, once its size for the text is known and before it is on screen.
QMessageBox *OpenErrorBox(const QString &message, std::function<void(QWidget &)> place = {});
