// Where the failure box opens, for the screens and window places a shop's PC
// may have: on the screen, and never over the fields its text names.
#include "app/box_placement.h"

#include <QtTest>

class TestBoxPlacement : public QObject
{
    Q_OBJECT
private slots:
    void besideBelowOrInsideNeverOverTheFields()
    {
        // The main window with its frame is 568 x 611; its fields run from 58
        // to 262 pixels below its top.
        const QSize box(520, 180);
        const struct {
            QRect screen, window;
            QPoint expected;
        } rows[] = {
            {{0, 0, 1920, 1040}, {676, 214, 568, 611}, {1252, 214}}, // full HD: right of the window
            {{0, 0, 1920, 1040}, {1352, 100, 568, 611}, {824, 100}}, // at the screen's right edge: left of it
            {{0, 0, 1024, 1000}, {228, 100, 568, 611}, {228, 719}},  // narrow and tall: below it
            {{0, 0, 1366, 728}, {399, 58, 568, 611}, {423, 328}},    // 1366 x 768: inside, below the fields
        };
        for (const auto &row : rows) {
            const QRect fields(row.window.left(), row.window.top() + 58, row.window.width(), 204);
            const QPoint at = BoxPosition(row.window, fields, box, row.screen);
            QCOMPARE(at, row.expected);
            QVERIFY(row.screen.contains(QRect(at, box)) && !QRect(at, box).intersects(fields));
        }
    }
};

QTEST_GUILESS_MAIN(TestBoxPlacement)
#include "tst_box_placement.moc"
