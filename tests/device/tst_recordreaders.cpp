// Readers of the vector and FID streams: record frames out of arbitrary pieces,
// the replies found among them, and how they find their way back after a lost,
// extra or damaged byte.

#include "device/RecordFrameReaders.h"
#include "tests/support/FidTestFrames.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

using namespace FidTestFrames;
using namespace ModbusTestFrames;

namespace {
using L = QList<QByteArray>;
using Replies = QList<QPair<int, QByteArray>>;

template <typename Reader> RecordReaderOutput feedAll(Reader& reader, const L& pieces)
{
    RecordReaderOutput all;
    for (const QByteArray& piece : pieces) {
        const RecordReaderOutput out = reader.feed(piece);
        all.frames += out.frames;
        all.replies += out.replies;
        all.faults += out.faults;
    }
    return all;
}

Replies selectors(const RecordReaderOutput& out)
{
    Replies r;
    for (const auto& reply : out.replies)
        r << qMakePair(int(reply.first), reply.second);
    return r;
}

QByteArray without(QByteArray bytes, int at)
{
    return bytes.remove(at, 1);
}
} // namespace

class TestRecordReaders : public QObject
{
    Q_OBJECT
private slots:
    void vectorFrames_data();
    void vectorFrames();
    void vectorNoiseStaysBounded();
    void onePassRunsOneSearcher();
    void searchersKnowTheInstrumentsReplies_data();
    void searchersKnowTheInstrumentsReplies();
    void fidFrames_data();
    void fidFrames();
};

void TestRecordReaders::vectorFrames_data()
{
    QTest::addColumn<L>("pieces");
    QTest::addColumn<L>("expectedFrames");
    QTest::addColumn<Replies>("expectedReplies");
    QTest::addColumn<int>("leftBuffered");
    QTest::addColumn<bool>("searching");

    const QByteArray a = numberedVectorFrame(1);
    const QByteArray b = numberedVectorFrame(2);
    const QByteArray c = numberedVectorFrame(3);
    const QByteArray d = numberedVectorFrame(4);
    const QByteArray status = readReply({4});
    QVector<quint16> params(124);
    for (int i = 0; i < params.size(); ++i)
        params[i] = quint16(0x3F00 + i);
    const QByteArray paramBlock = readReply(params);
    const QByteArray streamFrame209 = streamFrame(QVector<quint32>(50, 349791000));
    // Record values that hold a status reply's start and the CRC of status 4
    // (B9 87): length and CRC, not those bytes, decide what a reply is.
    QByteArray tricky = vectorFrame(QVector<double>(36, 350000.0));
    tricky.replace(11, 3, QByteArray("\x01\x03\x02", 3));
    tricky.replace(29, 2, QByteArray("\xB9\x87", 2));
    QByteArray badMarker = b;
    badMarker[8 * 20] = char(0x55);

    QTest::newRow("121 bytes while searching wait as they came")
        << L{a.left(121)} << L{} << Replies{} << 121 << true;
    QTest::newRow("122 bytes start the search")
        << L{a.left(122)} << L{} << Replies{} << 122 << false;
    QTest::newRow("a start at position 5 loses exactly 5 bytes")
        << L{QByteArray("\x11\x22\x33\x44\x55", 5) + a + b} << L{a, b} << Replies{} << 0 << false;
    QTest::newRow("575 bytes after synchronisation give one frame and keep 287")
        << L{a, b + c.left(287)} << L{a, b} << Replies{} << 287 << false;
    QTest::newRow("frames split anywhere")
        << L{a.left(200), a.mid(200) + b.left(5), b.mid(5)} << L{a, b} << Replies{} << 0 << false;
    QTest::newRow("status reply inside the buffer handed on as request 2")
        << L{a + status + b} << L{a, b} << Replies{{2, status}} << 0 << false;
    QTest::newRow("status reply split across reads")
        << L{a + status.left(3), status.mid(3) + b} << L{a, b} << Replies{{2, status}} << 0
        << false;
    // Cut off by a read inside the frame's last record: the record must not be
    // cut with the reply's first bytes in it.
    const QByteArray bWithStatus = b.left(284) + status + b.mid(284);
    QTest::newRow("status reply in a frame's last bytes, split across reads")
        << L{a, bWithStatus.left(290), bWithStatus.mid(290) + c} << L{a, b, c}
        << Replies{{2, status}} << 0 << false;
    const QByteArray echo = writeRegister(40118, 1);
    QTest::newRow("a status reply and a write echo in one read")
        << L{a + status + b.left(283) + echo + b.mid(283)} << L{a, b} << Replies{{2, status}} << 0
        << false;
    QTest::newRow("parameter block handed on as request 3")
        << L{a, paramBlock + b} << L{a, b} << Replies{{3, paramBlock}} << 0 << false;
    QTest::newRow("scalar stream frame and write echo removed")
        << L{a + streamFrame209 + writeRegister(40118, 1) + b} << L{a, b} << Replies{} << 0
        << false;
    QTest::newRow("status reply with a bad CRC is not one")
        << L{a, b.left(100) + QByteArray("\x01\x03\x02\x00\x04\x00\x00", 7)} << L{a} << Replies{}
        << 107 << false;
    QTest::newRow("values with 01 03 02 and B9 87 cut nothing")
        << L{tricky + a} << L{tricky, a} << Replies{} << 0 << false;
    QTest::newRow("a lost byte in the middle recovers on the next frame")
        << L{a, without(b, 150), c, d} << L{a, c, d} << Replies{} << 0 << false;
    QTest::newRow("a lost byte in the first record")
        << L{a, without(b, 3) + c + d} << L{a, c, d} << Replies{} << 0 << false;
    QTest::newRow("an extra byte between frames")
        << L{a, QByteArray(1, '\xE8') + b + c} << L{a, b, c} << Replies{} << 0 << false;
    QTest::newRow("a damaged record marker costs its frame")
        << L{a + badMarker + c} << L{a, c} << Replies{} << 0 << false;
}

void TestRecordReaders::vectorFrames()
{
    QFETCH(L, pieces);
    QFETCH(L, expectedFrames);
    QFETCH(Replies, expectedReplies);
    QFETCH(int, leftBuffered);
    QFETCH(bool, searching);

    VectorFrameReader reader;
    const RecordReaderOutput out = feedAll(reader, pieces);
    QCOMPARE(out.frames.size(), expectedFrames.size());
    QCOMPARE(out.frames, expectedFrames);
    QCOMPARE(selectors(out), expectedReplies);
    QCOMPARE(reader.buffered(), leftBuffered);
    QCOMPARE(reader.searching(), searching);
}

void TestRecordReaders::vectorNoiseStaysBounded()
{
    VectorFrameReader reader;
    RecordReaderOutput out = reader.feed(QByteArray(5000, '\x42'));
    QVERIFY(out.frames.isEmpty());
    QCOMPARE(reader.buffered(), 24); // a frame start may begin in the last 24 bytes
    QVERIFY(out.faults.first().contains("5000") || out.faults.first().contains("4976"));
    const QByteArray a = numberedVectorFrame(7);
    out = reader.feed(a + a);
    QCOMPARE(out.frames, (L{a, a}));

    // The vector page's request starts the search afresh.
    reader.restartSearch();
    QVERIFY(reader.searching());
    QCOMPARE(reader.buffered(), 0);
}

void TestRecordReaders::onePassRunsOneSearcher()
{
    const QByteArray status = readReply({4});
    const QByteArray echo = writeRegister(40118, 1);
    QByteArray buffer = echo + status + echo;
    RecordReaderOutput out;
    QVERIFY(ReplySearch::dispatchFrames(buffer, 209, out));
    QCOMPARE(selectors(out), (Replies{{2, status}}));
    QCOMPARE(buffer, echo + echo); // the echo searcher comes in a later pass
    QVERIFY(ReplySearch::dispatchFrames(buffer, 209, out));
    QVERIFY(buffer.isEmpty());
    QVERIFY(!ReplySearch::dispatchFrames(buffer, 209, out));
}

// Each searcher knows its reply by the first bytes the instrument sends (written
// out here): the device, the function, then a read's byte count or the high byte
// of the register written.
void TestRecordReaders::searchersKnowTheInstrumentsReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<Replies>("handedOn");
    const QByteArray status = readReply({4});
    const QByteArray params = readReply(QVector<quint16>(124, 0x3F00));
    QTest::newRow("status reply") << status << QByteArray::fromHex("010302")
                                  << Replies{{2, status}};
    QTest::newRow("identity block")
        << readReply(QVector<quint16>(100, 0x1234)) << QByteArray::fromHex("0103C8") << Replies{};
    QTest::newRow("parameter block")
        << params << QByteArray::fromHex("0103F8") << Replies{{3, params}};
    QTest::newRow("restart echo") << QByteArray::fromHex("01069CB6000187BC")
                                  << QByteArray::fromHex("01069C") << Replies{};
    QTest::newRow("set point apply echo")
        << writeRegister(40141, 1) << QByteArray::fromHex("01069C") << Replies{};
    QTest::newRow("rate write echo") << withCrc(QByteArray::fromHex("01109C960001"))
                                     << QByteArray::fromHex("01109C") << Replies{};
    QTest::newRow("sweep start write echo") << withCrc(QByteArray::fromHex("01109C800002"))
                                            << QByteArray::fromHex("01109C") << Replies{};
    QTest::newRow("stream frame") << streamFrame(QVector<quint32>(50, 349791000))
                                  << QByteArray::fromHex("AB0104") << Replies{};
}

void TestRecordReaders::searchersKnowTheInstrumentsReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, start);
    QFETCH(Replies, handedOn);
    QVERIFY(reply.startsWith(start));
    const QByteArray filler(10, '\x42');
    QByteArray buffer = filler + reply + filler;
    RecordReaderOutput out;
    QVERIFY(ReplySearch::dispatchFrames(buffer, 209, out));
    QCOMPARE(buffer, filler + filler);
    QCOMPARE(selectors(out), handedOn);
}

void TestRecordReaders::fidFrames_data()
{
    QTest::addColumn<L>("pieces");
    QTest::addColumn<int>("expectedFrames");
    QTest::addColumn<int>("leftBuffered");

    const QByteArray f = fidFrame({});
    QTest::newRow("240 bytes give three frames") << L{f + f + f} << 3 << 0;
    QTest::newRow("23 bytes wait") << L{f.left(23)} << 0 << 23;
    // Any three records in a row start the search, so only the records touched go.
    QTest::newRow("a start inside a record") << L{f.mid(3) + f + f} << 2 << 72;
    QTest::newRow("a lost byte costs the records around it")
        << L{f + without(f, 40) + f + f} << 3 << 32;
    // A negative value1 (high byte FF) inside a frame is a record like any other.
    const QByteArray negative = f.left(40) + record(0xE1, -3, 1000000) + f.mid(48);
    QTest::newRow("a negative value1 inside a frame") << L{f + negative + f} << 3 << 0;
}

void TestRecordReaders::fidFrames()
{
    QFETCH(L, pieces);
    QFETCH(int, expectedFrames);
    QFETCH(int, leftBuffered);

    FidFrameReader reader;
    const RecordReaderOutput out = feedAll(reader, pieces);
    QCOMPARE(out.frames.size(), expectedFrames);
    // Every record handed on is one of the records sent, whole.
    for (const QByteArray& frame : out.frames) {
        QCOMPARE(frame.size(), 80);
        for (int r = 0; r < 10; ++r) {
            const QByteArray rec = frame.mid(8 * r, 8);
            QVERIFY2(fidFrame({}).indexOf(rec) % 8 == 0 || rec == record(0xE1, -3, 1000000),
                     qPrintable(rec.toHex()));
        }
    }
    QCOMPARE(reader.buffered(), leftBuffered);
}

MAG_TEST_MAIN_CORE(TestRecordReaders)
#include "tst_recordreaders.moc"
