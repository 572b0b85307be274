#include "tests/support/TestMain.h"
#include "ui/WindowEdges.h"

class TstWindowEdges : public QObject
{
    Q_OBJECT
private slots:
    void hitTest_data();
    void hitTest();
    void dragGeometry_data();
    void dragGeometry();
};

// A 100 x 80 window with the 8 px band: inside is 8..92 across, 8..72 down.
void TstWindowEdges::hitTest_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("region");
    QTest::addColumn<int>("cursor");

    QTest::newRow("top-left") << QPoint(3, 3) << 5 << int(Qt::SizeFDiagCursor);
    QTest::newRow("top-right") << QPoint(97, 3) << 6 << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-left") << QPoint(3, 77) << 7 << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-right") << QPoint(99, 79) << 8 << int(Qt::SizeFDiagCursor);
    QTest::newRow("top") << QPoint(50, 0) << 3 << int(Qt::SizeVerCursor);
    QTest::newRow("bottom") << QPoint(50, 73) << 4 << int(Qt::SizeVerCursor);
    QTest::newRow("left") << QPoint(7, 40) << 1 << int(Qt::SizeHorCursor);
    QTest::newRow("right") << QPoint(93, 40) << 2 << int(Qt::SizeHorCursor);
    QTest::newRow("inside near left") << QPoint(8, 40) << 0 << int(Qt::ArrowCursor);
    QTest::newRow("inside near right") << QPoint(92, 40) << 0 << int(Qt::ArrowCursor);
    QTest::newRow("inside near top") << QPoint(50, 8) << 0 << int(Qt::ArrowCursor);
    QTest::newRow("inside near bottom") << QPoint(50, 72) << 0 << int(Qt::ArrowCursor);
    QTest::newRow("corner band edge") << QPoint(7, 72) << 1 << int(Qt::SizeHorCursor);
}

void TstWindowEdges::hitTest()
{
    QFETCH(QPoint, pos);
    QFETCH(int, region);
    QFETCH(int, cursor);
    QCOMPARE(WindowEdges::hitTest(pos, QSize(100, 80), 8), region);
    QCOMPARE(int(WindowEdges::cursorShape(region)), cursor);
}

// Window at (100, 100), 1280 x 720, minimum 1024 x 600.
void TstWindowEdges::dragGeometry_data()
{
    QTest::addColumn<int>("region");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("move") << 0 << QPoint(-30, 40) << QRect(70, 140, 1280, 720);
    QTest::newRow("top-left grows") << 5 << QPoint(-20, -10) << QRect(80, 90, 1300, 730);
    QTest::newRow("right shrinks") << 2 << QPoint(-100, 0) << QRect(100, 100, 1180, 720);
    QTest::newRow("bottom grows") << 4 << QPoint(0, 50) << QRect(100, 100, 1280, 770);
    // Below the minimum the left/top edge stays where the mouse put it.
    QTest::newRow("left past minimum") << 1 << QPoint(400, 0) << QRect(500, 100, 1024, 720);
    QTest::newRow("top past minimum") << 3 << QPoint(0, 200) << QRect(100, 300, 1280, 600);
    QTest::newRow("bottom-right past minimum")
        << 8 << QPoint(-500, -500) << QRect(100, 100, 1024, 600);
    QTest::newRow("top-right mixed") << 6 << QPoint(-300, -20) << QRect(100, 80, 1024, 740);
}

void TstWindowEdges::dragGeometry()
{
    QFETCH(int, region);
    QFETCH(QPoint, delta);
    QFETCH(QRect, expected);
    QCOMPARE(WindowEdges::dragGeometry(QRect(100, 100, 1280, 720), region, delta, QSize(1024, 600)),
             expected);
}

MAG_TEST_MAIN_CORE(TstWindowEdges)
#include "tst_windowedges.moc"
