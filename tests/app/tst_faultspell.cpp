#include "app/FaultSpell.h"
#include "tests/support/DebugLines.h"
#include "tests/support/TestMain.h"

namespace {
struct Event
{
    qint64 atMs;
    char kind; // 'f' fault, 's' success, 'x' finish
};
} // namespace
Q_DECLARE_METATYPE(QList<Event>)

class TestFaultSpell : public QObject
{
    Q_OBJECT
private slots:
    void linesPerSpell_data();
    void linesPerSpell();
    void detailsStayOnTheDebugOutput();
    void untilSuccessLines_data();
    void untilSuccessLines();
};

void TestFaultSpell::linesPerSpell_data()
{
    QTest::addColumn<QList<Event>>("events");
    QTest::addColumn<QStringList>("lines");

    QList<Event> everyFrame; // a fault every 50 ms for 150 s
    for (qint64 t = 0; t < 150000; t += 50)
        everyFrame << Event{t, 'f'};
    QTest::newRow("a fault every frame: one line a minute")
        << everyFrame
        << QStringList{"Stream faults begin: detail 0",
                       "Stream faults go on: 1200 in the last 60 s, 1201 in all",
                       "Stream faults go on: 1200 in the last 60 s, 2401 in all"};
    QTest::newRow("successes inside a spell do not end it")
        << QList<Event>{{0, 'f'}, {1000, 's'}, {2000, 'f'}, {3000, 's'}, {59000, 's'}}
        << QStringList{"Stream faults begin: detail 0"};
    QTest::newRow("a quiet minute ends it at the next success")
        << QList<Event>{{0, 'f'}, {5000, 'f'}, {64999, 's'}, {65000, 's'}, {70000, 's'}}
        << QStringList{"Stream faults begin: detail 0", "Stream faults ended: 2 in all over 5 s"};
    QTest::newRow("a fault after a quiet minute begins a new spell")
        << QList<Event>{{0, 'f'}, {1000, 'f'}, {200000, 'f'}}
        << QStringList{"Stream faults begin: detail 0", "Stream faults ended: 2 in all over 1 s",
                       "Stream faults begin: detail 2"};
    QTest::newRow("finish ends it at once, and only once")
        << QList<Event>{{0, 'f'}, {10, 'f'}, {20, 'f'}, {30, 'x'}, {40, 'x'}, {50, 's'}}
        << QStringList{"Stream faults begin: detail 0", "Stream faults ended: 3 in all over 0 s"};
    QTest::newRow("no fault, no line") << QList<Event>{{0, 's'}, {100000, 'x'}} << QStringList{};
}

void TestFaultSpell::linesPerSpell()
{
    QFETCH(QList<Event>, events);
    QFETCH(QStringList, lines);
    qint64 now = 0;
    QStringList written;
    FaultSpell spell(
        QStringLiteral("Stream faults"), [&written](const QString& line) { written << line; },
        [&now] { return now; });
    DebugLines details; // details on the debug output are another test's business
    int faults = 0;
    for (const Event& e : events) {
        now = e.atMs;
        if (e.kind == 'f')
            spell.fault(QStringLiteral("detail %1").arg(faults++));
        else if (e.kind == 's')
            spell.success();
        else
            spell.finish();
    }
    QCOMPARE(written, lines);
}

void TestFaultSpell::detailsStayOnTheDebugOutput()
{
    QStringList written;
    FaultSpell spell(
        QStringLiteral("Reply faults"), [&written](const QString& line) { written << line; },
        [] { return qint64(0); });
    QTest::ignoreMessage(QtDebugMsg, "CRC error");
    QTest::ignoreMessage(QtDebugMsg, "wrong byte count");
    spell.fault(QStringLiteral("CRC error"));
    spell.fault(QStringLiteral("wrong byte count"));
    QCOMPARE(written, QStringList{"Reply faults begin: CRC error"});
    QVERIFY(spell.active());
}

// A spell in its owner's words: the begin line is the first detail, the first
// success ends it, and nothing else is written, however many faults it counts.
void TestFaultSpell::untilSuccessLines_data()
{
    QTest::addColumn<QString>("events"); // f fault, s success, x finish
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("began"); // per fault: 1 when it began a spell

    QTest::newRow("one line to begin, one to end")
        << "fffs" << QStringList{"fault 0", "recovered after 3"} << "100";
    QTest::newRow("sixty faults: no count line")
        << QString(60, 'f') + "s" << QStringList{"fault 0", "recovered after 60"}
        << "1" + QString(59, '0');
    QTest::newRow("each success ends its spell; an empty end text writes nothing")
        << "fsffsfs" << QStringList{"fault 0", "fault 1", "recovered after 2", "fault 3"} << "1101";
    QTest::newRow("finish ends it in other words, once")
        << "ffxxs" << QStringList{"fault 0", "stopped after 2"} << "10";
    QTest::newRow("no fault, no line") << "ssx" << QStringList{} << "";
}

void TestFaultSpell::untilSuccessLines()
{
    QFETCH(QString, events);
    QFETCH(QStringList, lines);
    QFETCH(QString, began);
    QStringList written;
    // Like the server's batches kept offline: a spell of one says nothing at its end.
    FaultSpell spell = FaultSpell::untilSuccess(
        [](qint64 faults) {
            return faults > 1 ? QStringLiteral("recovered after %1").arg(faults) : QString();
        },
        [](qint64 faults) { return QStringLiteral("stopped after %1").arg(faults); },
        [&written](const QString& line) { written << line; });
    // Nothing on the debug output either: the owner says what it has to say.
    DebugLines debug(DebugLines::AndWarnings);
    QString returned;
    int faults = 0;
    for (const QChar e : events) {
        if (e == 'f')
            returned += spell.fault(QStringLiteral("fault %1").arg(faults++)) ? '1' : '0';
        else if (e == 's')
            spell.success();
        else
            spell.finish();
    }
    QCOMPARE(written, lines);
    QCOMPARE(returned, began);
    QCOMPARE(debug.all() + debug.warnings(), QStringList());
    QVERIFY(!spell.active());
}

MAG_TEST_MAIN_CORE(TestFaultSpell)
#include "tst_faultspell.moc"
