// The program's windows on the smallest screen they meet in a shop: 1366 x
// 768 pixels, less Windows 10's task bar (40 pixels at 100 %, scaled with
// the rest), at 100, 125 and 150 % scaling. Qt scales the windows, so at
// 150 % the screen offers them 911 x 472; each window, its title bar
// included, must fit there with every row whole. At 100 % they keep the
// design's size. The offscreen platform is given such a screen.
#include "app/app_fonts.h"
#include "app/form_principal.h"
#include "app/kr_database_formconnect.h"
#include "system/app_env.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_dialog_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QToolButton>
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

    // Open and closed advanced area: inside the work area, centred on it,
    // every row and the whole note readable; at 100 % the design's 534.
    void connectDialogFitsOpenAndClosed()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QTemporaryDir folder;
        SetExecutableFolderForTesting(folder.path());
        TFrmKRDBConnect form;
        form.SettingsFile = folder.filePath(QStringLiteral("norvacomercio.ini"));
        form.DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
        form.FormShow();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const bool expanded : {true, false, true}) {
            form.Avancado(expanded);
            const QString state = expanded ? QStringLiteral("open") : QStringLiteral("closed");
            qInfo("%s: outer %d at %d in %d..%d", qPrintable(state), form.OuterHeight(), form.y(), area.top(),
                  area.bottom());
            QVERIFY2(form.y() >= area.top() && form.y() + form.OuterHeight() <= area.bottom() + 1, qPrintable(state));
            QVERIFY2(qAbs(form.y() - area.top() - (area.bottom() + 1 - form.y() - form.OuterHeight())) <= 1,
                     qPrintable(state));
            if (expanded && area.height() >= TFrmKRDBConnect::ExpandedOuterHeight)
                QCOMPARE(form.OuterHeight(), TFrmKRDBConnect::ExpandedOuterHeight);
            QList<QWidget *> rows{form.EdtIP, form.Label5, form.EdtLocal, form.Label4, form.SpeedButton1};
            if (expanded)
                rows << form.CkConfig << form.EdtUsuario << form.LblAV;
            rows << form.BtnTestar;
            int bottom = -1;
            for (QWidget *row : rows) {
                const QRect r(row->mapTo(&form, QPoint(0, 0)), row->size());
                QVERIFY2(r.top() > bottom && r.bottom() < form.height(), qPrintable(state + row->objectName()));
                bottom = r.bottom();
            }
            const QRect group(form.GroupBox1->mapTo(&form, QPoint(0, 0)), form.GroupBox1->size());
            QCOMPARE(expanded, form.PnMestre->geometry().contains(group));
            QVERIFY(form.LblAV->heightForWidth(form.LblAV->width()) <= form.LblAV->height());
        }
    }

    void messageDialogFits()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        TFrmDialog dialog;
        const int titleBar = dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dialog);
        QVERIFY(dialog.y() >= area.top() && dialog.y() + titleBar + dialog.height() <= area.bottom() + 1);
    }
};

int main(int argc, char **argv)
{
    // CATRACA_WINDOW_SCALE: 1.25 (the default), 1 or 1.5.
    const QByteArray scale = qEnvironmentVariableIsEmpty("CATRACA_WINDOW_SCALE") ? "1.25"
                                                                                 : qgetenv("CATRACA_WINDOW_SCALE");
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    const int dpi = qRound(96 * scale.toDouble());
    const int taskBar = qRound(40 * scale.toDouble());
    file.write(QStringLiteral(R"({"screens": [{"name": "shop", "x": 0, "y": 0, "width": 1366, "height": %2,
                               "logicalDpi": %1, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(dpi)
                   .arg(768 - taskBar)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    UseDesignFonts();
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_fit.moc"
