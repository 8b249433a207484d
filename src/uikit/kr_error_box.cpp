#include "uikit/kr_error_box.h"

#include "uikit/kr_guard.h"

#include <QApplication>
#include <QMessageBox>

void InstallTopLevelErrorBox()
{
    SetTopLevelErrorDisplay([](const QString &message) {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    });
}
