// The main window on the smallest screen it meets in a shop at 125 %
// scaling: 1366 x 768 pixels, of which Windows 10's task bar takes 48. Qt
// scales the window by 1.25, so the screen offers it 1093 x 576; the window,
// its title bar included, must fit there with every row whole. At 100 % it
// keeps its size. The offscreen platform is given such a screen.
#include "app/app_fonts.h"
#include "app/form_principal.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowFit : public QObject
{
    Q_OBJECT
private slots:
    void fitsAboveTheTaskBarWithEveryRowWhole()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        TFrmPrincipal form(nullptr, false);
        const qreal scale = form.devicePixelRatioF();
        const int titleBar = form.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &form);
        if (qFuzzyCompare(scale, 1.0)) {
            // The design's own size, where there is room for it.
            QCOMPARE(form.size(), QSize(556, 575));
            return;
        }
        QCOMPARE(scale, 1.25);
        QCOMPARE(form.width(), 556);
        qInfo("window %dx%d, title bar %d, room %dx%d", form.width(), form.height(), titleBar, area.width(), area.height());
        QVERIFY2(form.height() + titleBar <= area.height(), qPrintable(QString::number(form.height())));
        // A window's position is its frame's.
        QVERIFY2(form.y() >= area.top() && form.y() + titleBar + form.height() <= area.bottom() + 1,
                 qPrintable(QStringLiteral("%1 + %2 + %3 in %4").arg(form.y()).arg(titleBar).arg(form.height()).arg(area.height())));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Top to bottom, no row overlaps the next and none is cut.
        const QList<QWidget *> rows{form.LblConectado, form.EdtSRV,        form.EdtSEN,    form.CkInicia,
                                    form.LblStatus,    form.LblObservacao, form.LblObservacoes, form.BtnFechar};
        int bottom = 0;
        for (QWidget *row : rows) {
            const QRect r(row->mapTo(&form, QPoint(0, 0)), row->size());
            QVERIFY2(r.top() >= bottom, qPrintable(row->objectName()));
            QVERIFY2(row->height() >= std::min(row->sizeHint().height(), row->minimumSizeHint().height()),
                     qPrintable(row->objectName()));
            QVERIFY2(r.bottom() < form.height(), qPrintable(row->objectName()));
            bottom = r.bottom();
        }
    }
};

int main(int argc, char **argv)
{
    // CATRACA_WINDOW_SCALE: 1.25 (the default) or 1.
    const QByteArray scale = qEnvironmentVariableIsEmpty("CATRACA_WINDOW_SCALE") ? "1.25"
                                                                                 : qgetenv("CATRACA_WINDOW_SCALE");
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    const int dpi = qRound(96 * scale.toDouble());
    file.write(QStringLiteral(R"({"screens": [{"name": "shop", "x": 0, "y": 0, "width": 1366, "height": 720,
                               "logicalDpi": %1, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(dpi)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    UseDesignFonts();
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_fit.moc"
