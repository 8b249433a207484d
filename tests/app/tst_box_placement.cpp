// Where the failure box opens, for the screens and window places a shop's PC
// may have: on the screen, and never over the fields its text names.
#include "app/box_placement.h"

#include <QtTest>

class TestBoxPlacement : public QObject
{
    Q_OBJECT
private slots:
    void besideBelowOrInsideNeverOverTheFields_data();
    void besideBelowOrInsideNeverOverTheFields();
};

void TestBoxPlacement::besideBelowOrInsideNeverOverTheFields_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QPoint>("expected");
    // The main window with its frame is 568 x 611; its fields run from 58 to
    // 262 pixels below its top.
    const QSize box(520, 180);
    QTest::newRow("full HD: right of the window")
        << QRect(0, 0, 1920, 1040) << QRect(676, 214, 568, 611) << box << QPoint(1252, 214);
    QTest::newRow("narrow screen, room below")
        << QRect(0, 0, 1024, 1000) << QRect(228, 100, 568, 611) << box << QPoint(228, 719);
    QTest::newRow("1366 x 768 with the task bar: inside, below the fields")
        << QRect(0, 0, 1366, 728) << QRect(399, 58, 568, 611) << box << QPoint(423, 328);
}

void TestBoxPlacement::besideBelowOrInsideNeverOverTheFields()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, window);
    QFETCH(QSize, box);
    QFETCH(QPoint, expected);
    const QRect fields(window.left(), window.top() + 58, window.width(), 204);
    const QPoint at = BoxPosition(window, fields, box, screen);
    QCOMPARE(at, expected);
    QVERIFY(screen.contains(QRect(at, box)));
    QVERIFY(!QRect(at, box).intersects(fields));
}

QTEST_GUILESS_MAIN(TestBoxPlacement)
#include "tst_box_placement.moc"
