#include "tests/support/TestMain.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/CustomProgressBar.h"
#include "ui/widgets/MyDoubleValidator.h"
#include "ui/widgets/MyIntValidator.h"
#include "ui/widgets/NegativeSpacingHBoxLayout.h"
#include "ui/widgets/RoundedMenu.h"

#include <QPointer>
#include <QPushButton>

Q_DECLARE_METATYPE(QValidator::State)

using ProgressCalls = QVector<QPair<int, bool>>;

class TestSmallWidgets : public QObject
{
    Q_OBJECT
private slots:
    void validators_data();
    void validators();
    void menuClickReportsEntryAndCloses();
    void menuRefilledFromItsOwnSlot();
    void layoutOverlapsItems_data();
    void layoutOverlapsItems();
    void progressBarSegments_data();
    void progressBarSegments();
    void roundedMenuCutsCorners();
};

void TestSmallWidgets::validators_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QValidator::State>("asInt");
    QTest::addColumn<QValidator::State>("asDouble");
    const auto ok = QValidator::Acceptable;
    const auto bad = QValidator::Invalid;
    QTest::newRow("empty") << QString() << ok << ok;
    QTest::newRow("leading zero") << "0123" << ok << ok;
    QTest::newRow("full-width digits") << QString::fromUtf8("０１２９") << ok << ok;
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("٣") << ok << ok;
    QTest::newRow("superscript two") << QString::fromUtf8("²") << ok << ok;
    QTest::newRow("roman numeral") << QString::fromUtf8("Ⅻ") << ok << ok;
    QTest::newRow("trailing letter") << "12a" << bad << bad;
    QTest::newRow("accented letter") << QString::fromUtf8("1é") << bad << bad;
    QTest::newRow("minus") << "-5" << bad << bad;
    QTest::newRow("plus") << "+5" << bad << bad;
    QTest::newRow("leading blank") << " 5" << bad << bad;
    QTest::newRow("lone point") << "." << bad << ok;
    QTest::newRow("point last") << "1." << bad << ok;
    QTest::newRow("point first") << ".5" << bad << ok;
    QTest::newRow("decimal") << "12.50" << bad << ok;
    QTest::newRow("two points") << "1.2.3" << bad << bad;
    QTest::newRow("negative decimal") << "-1.5" << bad << bad;
    QTest::newRow("exponent") << "1e5" << bad << bad;
    QTest::newRow("comma") << "1,5" << bad << bad;
}

void TestSmallWidgets::validators()
{
    QFETCH(QString, input);
    QFETCH(QValidator::State, asInt);
    QFETCH(QValidator::State, asDouble);
    MyIntValidator intValidator;
    MyDoubleValidator doubleValidator;
    const QString original = input;
    int pos = 1;
    QCOMPARE(intValidator.validate(input, pos), asInt);
    QCOMPARE(doubleValidator.validate(input, pos), asDouble);
    QCOMPARE(input, original);
    QCOMPARE(pos, 1);
}

void TestSmallWidgets::menuClickReportsEntryAndCloses()
{
    CustomMenu menu;
    menu.addAction("COM1", 1);
    menu.addAction("COM3", QVariant("third"));
    QSignalSpy spy(&menu, &CustomMenu::triggered);
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QPushButton* second = menu.buttons().at(1);
    QTest::mouseClick(second, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("COM3"));
    QCOMPARE(spy.at(0).at(1), QVariant("third"));
    QVERIFY(!menu.isVisible());

    menu.clearActions();
    QCOMPARE(menu.actionCount(), 0);
    QVERIFY(menu.findChildren<QPushButton*>().isEmpty());
    menu.addAction("COM7", 7);
    QCOMPARE(menu.actionCount(), 1);
    QCOMPARE(menu.buttons().at(0)->property("actionData"), QVariant(7));
}

void TestSmallWidgets::menuRefilledFromItsOwnSlot()
{
    // The port menu refills itself when its refresh entry is chosen: the clicked
    // button is still emitting when the list is cleared.
    CustomMenu menu;
    menu.addAction("COM1", 1);
    menu.addAction("refresh", 0);
    int refills = 0;
    QPointer<QPushButton> clicked = menu.buttons().at(1);
    bool clickedSurvivedClear = false;
    connect(&menu, &CustomMenu::triggered, &menu, [&] {
        ++refills;
        menu.clearActions();
        clickedSurvivedClear = !clicked.isNull();
        menu.addAction("COM2", 2);
        menu.addAction("refresh", 0);
    });
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(clicked, Qt::LeftButton);
    QCOMPARE(refills, 1);
    QVERIFY(clickedSurvivedClear); // still on the stack: it must not be deleted yet
    QCOMPARE(menu.actionCount(), 2);
    QCOMPARE(menu.buttons().at(0)->text(), QString("COM2"));
    QTRY_VERIFY_WITH_TIMEOUT(clicked.isNull(), 5000); // the old button goes once idle
    QCOMPARE(menu.findChildren<QPushButton*>().size(), 2);

    // The new entries work as before.
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(menu.buttons().at(0), Qt::LeftButton);
    QCOMPARE(refills, 2);
}

void TestSmallWidgets::layoutOverlapsItems_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<int>("margin");
    QTest::addColumn<bool>("hideMiddle");
    QTest::addColumn<QVector<int>>("xs");
    QTest::newRow("-13, no margin") << -13 << 0 << false << QVector<int>{0, 87, 174};
    QTest::newRow("hidden item skipped") << -13 << 0 << true << QVector<int>{0, 87};
    QTest::newRow("margin 4") << -13 << 4 << false << QVector<int>{4, 91, 178};
    QTest::newRow("default -5") << -5 << 0 << false << QVector<int>{0, 95, 190};
}

void TestSmallWidgets::layoutOverlapsItems()
{
    QFETCH(int, spacing);
    QFETCH(int, margin);
    QFETCH(bool, hideMiddle);
    QFETCH(QVector<int>, xs);
    QWidget bar;
    auto* layout = new NegativeSpacingHBoxLayout(&bar);
    QCOMPARE(layout->negativeSpacing(), -5);
    layout->setNegativeSpacing(spacing);
    layout->setContentsMargins(margin, margin, margin, margin);
    QVector<QPushButton*> buttons;
    for (int i = 0; i < 3; ++i) {
        buttons << new QPushButton(QString::number(i), &bar);
        buttons.last()->setFixedWidth(100);
        buttons.last()->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        layout->addWidget(buttons.last());
    }
    if (hideMiddle)
        buttons[1]->hide();
    bar.resize(400, 40);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    layout->activate();

    QVector<int> placed;
    for (QPushButton* button : qAsConst(buttons)) {
        if (button->isHidden())
            continue;
        placed << button->x();
        QCOMPARE(button->y(), margin);
        QCOMPARE(button->height(), 40 - 2 * margin);
    }
    QCOMPARE(placed, xs);
    // The hint shrinks by the overlap of every neighbour pair, counted over all items.
    QCOMPARE(layout->sizeHint().width(), layout->QHBoxLayout::sizeHint().width() + 2 * spacing);
}

void TestSmallWidgets::progressBarSegments_data()
{
    QTest::addColumn<ProgressCalls>("calls");
    QTest::addColumn<QVector<bool>>("segments");
    QTest::newRow("fresh") << ProgressCalls{} << QVector<bool>{false, false, false, false};
    QTest::newRow("2 pending") << ProgressCalls{{2, false}}
                               << QVector<bool>{true, true, false, false};
    QTest::newRow("3 done") << ProgressCalls{{3, true}} << QVector<bool>{true, true, true, true};
    QTest::newRow("index 4 ignored")
        << ProgressCalls{{1, true}, {4, true}} << QVector<bool>{true, true, false, false};
    QTest::newRow("negative ignored")
        << ProgressCalls{{0, true}, {-1, true}} << QVector<bool>{true, false, false, false};
    QTest::newRow("goes back") << ProgressCalls{{3, true}, {1, false}}
                               << QVector<bool>{true, false, false, false};
}

void TestSmallWidgets::progressBarSegments()
{
    QFETCH(ProgressCalls, calls);
    QFETCH(QVector<bool>, segments);
    CustomProgressBar bar;
    for (const auto& call : calls)
        bar.setProgress(call.first, call.second);
    QCOMPARE(bar.segments(), segments);

    // 200 x 40: segments 43 px wide, 48 px apart, drawn from x = 8, y = 6.
    bar.resize(200, 40);
    const QImage image = bar.grab().toImage();
    bool drawing = true;
    for (int i = 0; i < 4; ++i) {
        const QColor expected = !drawing      ? QColor("#636363")
                                : segments[i] ? QColor(Qt::green)
                                              : QColor(Qt::yellow);
        QCOMPARE(image.pixelColor(28 + 48 * i, 20).name(), expected.name());
        drawing = drawing && segments[i];
    }
}

void TestSmallWidgets::roundedMenuCutsCorners()
{
    RoundedMenu menu;
    menu.addAction("1 Hz");
    menu.addAction("1000 Hz");
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    menu.repaint();
    const QRegion mask = menu.mask();
    QVERIFY(!mask.contains(QPoint(0, 0)));
    QVERIFY(!mask.contains(QPoint(menu.width() - 1, menu.height() - 1)));
    QVERIFY(mask.contains(QPoint(menu.width() / 2, 0)));
    QVERIFY(mask.contains(menu.rect().center()));
}

MAG_TEST_MAIN(TestSmallWidgets)
#include "tst_smallwidgets.moc"
