// Frame readers: whole replies out of arbitrary pieces, and what is dropped.

#include "device/ModbusManager.h"
#include "device/ReplyReaders.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

using namespace ModbusTestFrames;

namespace {
const QByteArray Status4 = readReply({4});
const QByteArray Status2 = readReply({2});

QByteArray badCrc(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    return frame;
}

QVector<quint32> samples(int n, quint32 first)
{
    QVector<quint32> s;
    for (int i = 0; i < n; ++i)
        s << first + quint32(i);
    return s;
}
} // namespace

namespace {
// Feeds the pieces in order and gathers everything the reader gave back.
template <typename Reader> ReaderOutput feedAll(Reader& reader, const QList<QByteArray>& pieces)
{
    ReaderOutput all;
    for (const QByteArray& piece : pieces) {
        const ReaderOutput out = reader.feed(piece);
        all.frames += out.frames;
        all.faults += out.faults;
    }
    return all;
}
} // namespace

class TestReplyReaders : public QObject
{
    Q_OBJECT
private slots:
    void fixedLength_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QList<QByteArray>>("expectedFrames");
        QTest::addColumn<int>("expectedFaults");
        QTest::addColumn<QString>("faultText");
        QTest::addColumn<int>("leftBuffered");

        using L = QList<QByteArray>;
        QTest::newRow("whole reply") << L{Status4} << L{Status4} << 0 << "" << 0;
        QTest::newRow("byte by byte") << [] {
            L l;
            for (char c : Status4)
                l << QByteArray(1, c);
            return l;
        }() << L{Status4} << 0 << "" << 0;
        QTest::newRow("two replies waiting")
            << L{Status2 + Status4} << L{Status2, Status4} << 0 << "" << 0;
        QTest::newRow("truncated reply waits") << L{Status4.left(6)} << L{} << 0 << "" << 6;
        QTest::newRow("stray byte before reply")
            << L{QByteArray(1, '\x00') + Status4} << L{} << 1 << "wrong device address" << 0;
        QTest::newRow("stray byte then next poll")
            << L{QByteArray(1, '\x55') + Status4, Status2} << L{Status2} << 1 << "address" << 0;
        QTest::newRow("exception reply") << L{withCrc(QByteArray("\x01\x83\x02", 3)), Status4}
                                         << L{Status4} << 1 << "exception reply, code 2" << 0;
        QTest::newRow("CRC error") << L{badCrc(Status4)} << L{} << 1 << "CRC error" << 0;
        QTest::newRow("CRC error then good reply")
            << L{badCrc(Status2), Status4} << L{Status4} << 1 << "CRC error" << 0;
        QTest::newRow("wrong function") << L{withCrc(QByteArray("\x01\x04\x02\x00\x04", 5))} << L{}
                                        << 1 << "wrong function" << 0;
        QTest::newRow("wrong byte count")
            << L{readReply({1, 2})} << L{} << 1 << "wrong byte count" << 0;
        QTest::newRow("reply cut short, next one joins it")
            << L{Status2.left(5), Status4} << L{} << 1 << "CRC error" << 0;
    }
    void fixedLength()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QList<QByteArray>, expectedFrames);
        QFETCH(int, expectedFaults);
        QFETCH(QString, faultText);
        QFETCH(int, leftBuffered);

        FixedLengthReplyReader reader(7);
        const ReaderOutput out = feedAll(reader, pieces);
        const QList<QByteArray>& frames = out.frames;
        const QStringList& faults = out.faults;
        QCOMPARE(frames, expectedFrames);
        QCOMPARE(faults.size(), expectedFaults);
        if (!faultText.isEmpty())
            QVERIFY2(faults.first().contains(faultText), qPrintable(faults.first()));
        QCOMPARE(reader.buffered(), leftBuffered);
    }

    void stream_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QList<QByteArray>>("expectedFrames");
        QTest::addColumn<bool>("skipReported");

        using L = QList<QByteArray>;
        const QByteArray a = streamFrame(samples(50, 350000000));
        const QByteArray b = streamFrame(samples(50, 350001000), 3);
        QByteArray badTail = a;
        badTail[badTail.size() - 1] = '\x00';

        QTest::newRow("one frame") << L{a} << L{a} << false;
        QTest::newRow("two frames in one read") << L{a + b} << L{a, b} << false;
        QTest::newRow("frame split in three")
            << L{a.left(3), a.mid(3, 100), a.mid(103)} << L{a} << false;
        QTest::newRow("stray bytes before a frame")
            << L{QByteArray("\x00\x13\xAB", 3) + a} << L{a} << true;
        QTest::newRow("status reply inside the stream") << L{readReply({4}) + a} << L{a} << true;
        QTest::newRow("bad tail, resync on the next frame") << L{badTail + b} << L{b} << true;
        QTest::newRow("truncated frame, then a whole one") << L{a.left(120), b} << L{b} << true;
        QTest::newRow("false start inside samples")
            << L{QByteArray("\xAB\x01\x22", 3), a} << L{a} << true;
    }
    void stream()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QList<QByteArray>, expectedFrames);
        QFETCH(bool, skipReported);

        StreamFrameReader reader(209);
        const ReaderOutput out = feedAll(reader, pieces);
        const QList<QByteArray>& frames = out.frames;
        const QStringList& faults = out.faults;
        QCOMPARE(frames, expectedFrames);
        QCOMPARE(!faults.isEmpty(), skipReported);
        QCOMPARE(reader.buffered(), 0);
    }

    void streamBufferStaysBounded()
    {
        StreamFrameReader reader(209);
        QByteArray noise(5000, '\x42');
        noise.append('\xAB');
        const ReaderOutput out = reader.feed(noise);
        QVERIFY(out.frames.isEmpty());
        QCOMPARE(reader.buffered(), 1); // the AB may start the next frame
        const QByteArray frame = streamFrame(samples(50, 1));
        QCOMPARE(reader.feed(frame.mid(1)).frames, QList<QByteArray>{frame});
    }

    void streamFrameLengthFollowsTheRate_data()
    {
        QTest::addColumn<int>("samplesPerFrame");
        QTest::newRow("200 Hz") << 10;
        QTest::newRow("20 Hz") << 1;
        QTest::newRow("500 Hz") << 25;
    }
    void streamFrameLengthFollowsTheRate()
    {
        QFETCH(int, samplesPerFrame);
        const QByteArray frame = streamFrame(samples(samplesPerFrame, 7));
        StreamFrameReader reader;
        reader.setFrameLength(frame.size());
        QCOMPARE(reader.feed(frame + frame).frames.size(), 2);
    }
};

MAG_TEST_MAIN_CORE(TestReplyReaders)
#include "tst_replyreaders.moc"
