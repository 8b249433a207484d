#include "uikit/kr_error_box.h"

#include "base/kr_guard.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QSpacerItem>

namespace {

// A message box is as wide as its text, and the window manager cuts the
// title of a narrow one ("Integração c…Ovrex/Miravel" above a short
// message): a spacer as wide as the title keeps it whole.
void LeaveRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(TitleWidthNeeded(box.windowTitle()), 0, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// A message box takes its size for the text when it is shown.
class TPlacedBox : public QMessageBox
{
public:
    TPlacedBox(const QString &message, QWidget *parent, std::function<void(QWidget &)> place)
        : QMessageBox(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok, parent)
        , m_place(std::move(place))
    {
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (m_place)
            m_place(*this);
    }

private:
    std::function<void(QWidget &)> m_place;
};

QMessageBox *NewErrorBox(const QString &message, QWidget *parent, std::function<void(QWidget &)> place = {})
{
    auto *box = new TPlacedBox(message, parent, std::move(place));
    LeaveRoomForTitle(*box);
    return box;
}

} // namespace

int TitleWidthNeeded(const QString &title)
{
    // The system's caption font, plus the window's icon and close button
    // with their margins (about 100 pixels on Windows 10 and 11 at 100 %).
    constexpr int Decoration = 100;
    return QFontMetrics(QFontDatabase::systemFont(QFontDatabase::TitleFont)).horizontalAdvance(title) + Decoration;
}

void InstallTopLevelErrorBox()
{
    SetTopLevelErrorDisplay([](const QString &message) {
        // Gone already when its parent closed meanwhile.
        const QPointer<QMessageBox> box = NewErrorBox(message, QApplication::activeWindow());
        box->exec();
        delete box.data();
    });
}

QMessageBox *OpenErrorBox(const QString &message, std::function<void(QWidget &)> place)
{
    QMessageBox *box = NewErrorBox(message, nullptr, std::move(place));
    box->setObjectName(QStringLiteral("FailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}
