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

QMessageBox *OpenErrorBox(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("FailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}
