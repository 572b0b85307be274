// The virtual instrument as a child process, talked to over its pseudo-terminal
// with a Modbus framing of the test's own, and checked against mbpoll.

#include "device/SerialPortNames.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr double MilliHzPerNt = 6.99583 * 1000.0;

using namespace ModbusTestFrames;

QVector<quint16> floatWords(float v) // low word first
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    return {quint16(bits & 0xFFFF), quint16(bits >> 16)};
}

quint16 regAt(const QByteArray& reply, int first, int reg)
{
    return qFromBigEndian<quint16>(reply.constData() + 3 + 2 * (reg - first));
}

// Word-swapped: the first register holds the low 16 bits.
quint32 u32At(const QByteArray& reply, int first, int reg)
{
    return regAt(reply, first, reg) | (quint32(regAt(reply, first, reg + 1)) << 16);
}

float floatAt(const QByteArray& reply, int first, int reg)
{
    const quint32 bits = u32At(reply, first, reg);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The program's end of the pseudo-terminal, opened as a serial device.
class Line
{
public:
    explicit Line(const QString& device)
    {
        m_fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios tio{};
            ::tcgetattr(m_fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Line()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    void send(const QByteArray& bytes)
    {
        QCOMPARE(::write(m_fd, bytes.constData(), bytes.size()),
                 static_cast<ssize_t>(bytes.size()));
    }

    // Up to n bytes, waiting at most ms for them; fewer only on time-out or hang-up.
    QByteArray read(int n, int ms = 3000)
    {
        QByteArray out;
        QDeadlineTimer deadline(ms);
        while (out.size() < n) {
            pollfd p{m_fd, POLLIN, 0};
            const int left = static_cast<int>(deadline.remainingTime());
            if (::poll(&p, 1, left) <= 0)
                break;
            if (p.revents & (POLLHUP | POLLERR)) {
                m_hungUp = true;
                break;
            }
            char buf[4096];
            const ssize_t got =
                ::read(m_fd, buf, std::min<size_t>(sizeof buf, size_t(n - out.size())));
            if (got <= 0) {
                m_hungUp = got == 0 || errno == EIO;
                break;
            }
            out.append(buf, static_cast<int>(got));
        }
        return out;
    }
    bool hungUp() const { return m_hungUp; }

    QByteArray transact(const QByteArray& request, int replyLength)
    {
        send(request);
        return read(replyLength);
    }

private:
    int m_fd = -1;
    bool m_hungUp = false;
};

struct StreamCapture
{
    QVector<QByteArray> frames;
    QByteArray rest; // bytes after the last whole frame
};

// Cuts a received byte run into frames of the given length that begin AB 01.
StreamCapture cutFrames(QByteArray bytes, int length)
{
    StreamCapture c;
    while (bytes.size() >= length && bytes.startsWith("\xAB\x01")) {
        c.frames.append(bytes.left(length));
        bytes.remove(0, length);
    }
    c.rest = bytes;
    return c;
}

QVector<double> samplesNt(const QByteArray& frame)
{
    QVector<double> out;
    for (int at = 5; at + 4 <= frame.size() - 4; at += 4)
        out.append(qFromLittleEndian<quint32>(frame.constData() + at) / MilliHzPerNt);
    return out;
}
} // namespace

class TestVirtualInstrument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(InstrumentProcess::binary()).isExecutable(),
                 qPrintable("not built: " + InstrumentProcess::binary()));
    }

    void identityAndParameterBlocks()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        QVERIFY(line.isOpen());

        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({4}));

        const QByteArray id = line.transact(QByteArray::fromHex("01039C4000646BA5"), 205);
        QCOMPARE(id.size(), 205);
        QVERIFY(hasValidCrc(id));
        QCOMPARE(id.left(3), QByteArray::fromHex("0103C8"));
        // The program shows register 40001's four digits, then 40000's.
        const QString serial =
            QString::asprintf("%04X%04X", regAt(id, 40000, 40001), regAt(id, 40000, 40000));
        QCOMPARE(serial, QString("24060117"));
        QCOMPARE(u32At(id, 40000, 40064), 300000000u);
        QCOMPARE(u32At(id, 40000, 40066), 400000000u);
        QCOMPARE(u32At(id, 40000, 40068), 1000000u);
        QCOMPARE(regAt(id, 40000, 40083), quint16(9216));
        QCOMPARE(regAt(id, 40000, 40086), quint16(1000));

        const QByteArray params = line.transact(QByteArray::fromHex("01039CA4007C2B98"), 253);
        QCOMPARE(params.size(), 253);
        QVERIFY(hasValidCrc(params));
        QCOMPARE(regAt(params, 40100, 40118), quint16(4));
        QCOMPARE(floatAt(params, 40100, 40122), 0.62f); // set points as written
        QCOMPARE(floatAt(params, 40100, 40130), 0.78f);
        QCOMPARE(floatAt(params, 40100, 40142), 0.45f);
        QVERIFY(std::fabs(floatAt(params, 40100, 40126) - 0.62f) < 0.005); // read-backs settled
        QVERIFY(std::fabs(floatAt(params, 40100, 40134) - 0.78f) < 0.005);
        QVERIFY(floatAt(params, 40100, 40154) > 0.0f); // PDE
        QVERIFY(floatAt(params, 40100, 40158) > 0.5f); // PD
        QCOMPARE(u32At(params, 40100, 40100), 5000000u);

        const QByteArray block = line.transact(QByteArray::fromHex("01039D260003CBAC"), 11);
        QCOMPARE(block.size(), 11);
        QVERIFY(hasValidCrc(block));
    }

    void requestsAndReplies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("followUp"); // a read that shows the effect, or empty
        QTest::addColumn<QByteArray>("followUpReply");

        const QByteArray rate = readRequest(40086, 1);
        QTest::newRow("write one register echoes")
            << writeRegister(40086, 20) << writeRegister(40086, 20) << rate << readReply({20});
        QTest::newRow("write several registers")
            << writeRegisters(40064, {0x2D00, 0x0131})
            << withCrc(QByteArray::fromHex("01109C800002")) << readRequest(40064, 2)
            << readReply({0x2D00, 0x0131});
        QTest::newRow("baud rate register")
            << writeRegisters(40083, {1152}) << withCrc(QByteArray::fromHex("01109C930001"))
            << readRequest(40083, 1) << readReply({1152});
        QTest::newRow("noise before a request")
            << QByteArray(1, '\0') + readRequest(40086, 1) << readReply({1000}) << QByteArray()
            << QByteArray();
        QTest::newRow("read past the registers")
            << readRequest(40230, 20) << exceptionReply(0x03, 2) << QByteArray() << QByteArray();
        QTest::newRow("read of 126 registers")
            << readRequest(40000, 126) << exceptionReply(0x03, 3) << QByteArray() << QByteArray();
        QTest::newRow("unknown work state")
            << writeRegister(40118, 5) << exceptionReply(0x06, 3) << rate << readReply({1000});
        QTest::newRow("work mode outside 1-2") << writeRegister(40119, 3) << exceptionReply(0x06, 3)
                                               << readRequest(40119, 1) << readReply({1});
        QTest::newRow("unsupported rate")
            << writeRegister(40086, 123) << exceptionReply(0x06, 3) << rate << readReply({1000});
        QTest::newRow("read-back is read-only")
            << writeRegister(40126, 1) << exceptionReply(0x06, 2) << QByteArray() << QByteArray();
        QTest::newRow("byte count disagrees")
            << withCrc(QByteArray::fromHex("01109C960001040003")) << exceptionReply(0x10, 3)
            << QByteArray() << QByteArray();
        QTest::newRow("input registers are not served")
            << withCrc(QByteArray::fromHex("01049CB60001")) << exceptionReply(0x04, 1)
            << QByteArray() << QByteArray();
        QTest::newRow("function without fixed layout")
            << withCrc(QByteArray::fromHex("012B0E0100")) << exceptionReply(0x2B, 1) << QByteArray()
            << QByteArray();
        QTest::newRow("other device ignored") << withCrc(QByteArray::fromHex("02039CB60001"))
                                              << QByteArray() << rate << readReply({1000});
        QTest::newRow("bad request CRC ignored")
            << QByteArray::fromHex("01039CB600014BBD") << QByteArray() << rate << readReply({1000});
    }

    void requestsAndReplies()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, followUp);
        QFETCH(QByteArray, followUpReply);
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        line.send(request);
        // An ignored request gets no answer at all, so the next one meets a quiet line.
        QCOMPARE(line.read(reply.isEmpty() ? 1 : reply.size(), reply.isEmpty() ? 300 : 3000),
                 reply);
        if (!followUp.isEmpty())
            QCOMPARE(line.transact(followUp, followUpReply.size()), followUpReply);
    }

    void setPointAppliedMovesReadBack()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        auto readBlock = [&line] {
            return line.transact(QByteArray::fromHex("01039CA4007C2B98"), 253);
        };

        const QByteArray written = writeRegisters(40122, floatWords(0.3f));
        QCOMPARE(line.transact(written, 8), withCrc(written.left(6)));
        QByteArray block = readBlock();
        QCOMPARE(floatAt(block, 40100, 40122), 0.3f);
        QVERIFY2(std::fabs(floatAt(block, 40100, 40126) - 0.62f) < 0.01,
                 "moved before it was applied");

        QCOMPARE(line.transact(writeRegister(40121, 1), 8), writeRegister(40121, 1));
        // Polled like the debug page does, until the read-back has followed. Each
        // read is one poll, so the value is judged once per block read.
        QStringList seen;
        float readBack = 0.0f;
        QDeadlineTimer deadline(15000);
        do {
            block = readBlock();
            readBack = floatAt(block, 40100, 40126);
            seen << QString("%1 (%2 bytes)").arg(double(readBack)).arg(block.size());
        } while (std::fabs(readBack - 0.3f) >= 0.02f && !deadline.hasExpired() &&
                 (QTest::qWait(50), true)); // the pace of the polls
        QVERIFY2(std::fabs(readBack - 0.3f) < 0.02f, qPrintable(seen.join(", ")));
        QCOMPARE(regAt(block, 40100, 40121), quint16(0)); // the apply register clears itself
        // The other set points stayed.
        QVERIFY(std::fabs(floatAt(block, 40100, 40134) - 0.78f) < 0.005);
    }

    // What the debug page writes, read back in the parameter block as it reads it.
    void debugPageWrites_data()
    {
        QTest::addColumn<QVector<QByteArray>>("writes");
        QTest::addColumn<int>("reg");
        QTest::addColumn<bool>("wide"); // a 32-bit value, low word first
        QTest::addColumn<quint32>("expected");

        const auto u32 = [](quint32 v) {
            return QVector<quint16>{quint16(v & 0xFFFF), quint16(v >> 16)};
        };
        QTest::newRow("DDS frequency") << QVector<QByteArray>{writeRegisters(40100, u32(123456789))}
                                       << 40100 << true << 123456789u;
        QTest::newRow("sweep start") << QVector<QByteArray>{writeRegisters(40106, u32(300000001))}
                                     << 40106 << true << 300000001u;
        QTest::newRow("sweep end") << QVector<QByteArray>{writeRegisters(40108, u32(1400000000))}
                                   << 40108 << true << 1400000000u;
        QTest::newRow("sweep step")
            << QVector<QByteArray>{writeRegisters(40110, u32(1))} << 40110 << true << 1u;
        QTest::newRow("second work mode")
            << QVector<QByteArray>{writeRegisters(40119, QVector<quint16>{2})} << 40119 << false
            << 2u;
        QTest::newRow("first work mode")
            << QVector<QByteArray>{writeRegisters(40119, QVector<quint16>{2}),
                                   writeRegisters(40119, QVector<quint16>{1})}
            << 40119 << false << 1u;
        QTest::newRow("debug mode")
            << QVector<QByteArray>{writeRegister(40118, 99)} << 40118 << false << 99u;
        // Leaving debug mode runs the lock sequence from its first step.
        QTest::newRow("debug mode left")
            << QVector<QByteArray>{writeRegister(40118, 99), writeRegister(40118, 1)} << 40118
            << false << 1u;
        QTest::newRow("VCSEL Default set point")
            << QVector<QByteArray>{writeRegisters(40142, floatWords(0.25f))} << 40142 << true
            << 0x3E800000u;
    }

    void debugPageWrites()
    {
        QFETCH(QVector<QByteArray>, writes);
        QFETCH(int, reg);
        QFETCH(bool, wide);
        QFETCH(quint32, expected);
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        for (const QByteArray& w : writes) {
            const QByteArray echo = static_cast<quint8>(w[1]) == 0x06 ? w : withCrc(w.left(6));
            QCOMPARE(line.transact(w, 8), echo);
        }
        const QByteArray block = line.transact(QByteArray::fromHex("01039CA4007C2B98"), 253);
        QCOMPARE(block.size(), 253);
        QCOMPARE(wide ? u32At(block, 40100, reg) : quint32(regAt(block, 40100, reg)), expected);
    }

    void lockSequence_data()
    {
        QTest::addColumn<int>("workState");
        QTest::addColumn<QVector<int>>("statuses");
        QTest::newRow("restart") << 1 << QVector<int>{1, 2, 3, 4};
        QTest::newRow("re-track") << 3 << QVector<int>{3, 4};
        QTest::newRow("debug mode holds") << 99 << QVector<int>{99};
    }

    void lockSequence()
    {
        QFETCH(int, workState);
        QFETCH(QVector<int>, statuses);
        InstrumentProcess vi;
        // Steps long enough that a busy machine's polls do not miss one.
        QVERIFY(!vi.start({"--start-status", "0", "--lock-step-ms", "300"}).isEmpty());
        Line line(vi.device());
        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({0}));
        QCOMPARE(line.transact(writeRegister(40118, workState), 8),
                 writeRegister(40118, workState));

        // Polled for at least four lock steps, and until the last status has come.
        QVector<int> seen;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 &&
               (clock.elapsed() < 4 * 300 || seen.isEmpty() || seen.last() != statuses.last())) {
            const QByteArray r = line.transact(readRequest(40118, 1), 7);
            QCOMPARE(r.size(), 7);
            const int status = qFromBigEndian<quint16>(r.constData() + 3);
            if (seen.isEmpty() || seen.last() != status)
                seen.append(status);
        }
        QCOMPARE(seen, statuses);
    }

    // The stream runs at the rate register's value when it starts; the start
    // frame's count does not change it.
    void stream_data()
    {
        QTest::addColumn<int>("written"); // to 40086 before the start; 0: none
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("rate");
        QTest::newRow("1000 Hz") << 0 << 100 << 1000;
        QTest::newRow("20 Hz written") << 20 << 2 << 20;
        QTest::newRow("20 Hz written, started with count 100") << 20 << 100 << 20;
        QTest::newRow("count 2 alone keeps 1000 Hz") << 0 << 2 << 1000;
    }

    void stream()
    {
        QFETCH(int, written);
        QFETCH(int, count);
        QFETCH(int, rate);
        const int length = rate / 5 + 9;
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        if (written)
            QCOMPARE(line.transact(writeRegister(40086, quint16(written)), 8),
                     writeRegister(40086, quint16(written)));
        QElapsedTimer clock;
        line.send(streamRequest(0x04, count));
        clock.start();
        const int frames = 21; // one second of them
        const StreamCapture c = cutFrames(line.read(frames * length), length);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(c.frames.size(), frames);
        // About a second; half or double the frame rate falls outside.
        QVERIFY2(elapsed > 850 && elapsed < 1900, qPrintable(QString::number(elapsed)));

        QVector<double> values;
        for (int i = 0; i < c.frames.size(); ++i) {
            const QByteArray& f = c.frames[i];
            QVERIFY(f.endsWith("\xFF\xFF"));
            QCOMPARE(int(quint8(f[f.size() - 4])), 4); // status byte
            QCOMPARE(int(quint8(f[f.size() - 3])), i); // frame counter
            values += samplesNt(f);
        }
        QCOMPARE(values.size(), frames * rate / 20);
        double mean = 0;
        for (double v : values)
            mean += v / values.size();
        double var = 0;
        for (double v : values)
            var += (v - mean) * (v - mean) / values.size();
        QVERIFY2(std::fabs(mean - 50000.0) < 10.0, qPrintable(QString::number(mean)));
        // Noise and mains: visible, but far below a nanotesla.
        QVERIFY2(std::sqrt(var) > 0.005 && std::sqrt(var) < 1.0,
                 qPrintable(QString::number(std::sqrt(var))));

        // Stop: at most the last frame, then quiet.
        line.send(streamRequest(0x06, count));
        const QByteArray tail = line.read(10 * length, 400);
        QVERIFY2(tail.size() <= 3 * length, "the stream went on after the stop frame");
        QCOMPARE(line.read(1, 300), QByteArray());
    }

    void modbusRequestStopsStream()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        line.send(streamRequest(0x04, 100));
        QCOMPARE(cutFrames(line.read(3 * 209), 209).frames.size(), 3);
        line.send(readRequest(40118, 1));
        // Frames already on their way, then the reply, then nothing.
        QByteArray bytes = line.read(20 * 209, 500);
        StreamCapture c = cutFrames(bytes, 209);
        QCOMPARE(c.rest, readReply({4}));
    }

    void sameSeedSameSignal()
    {
        auto firstFrames = [](const QString& seed) {
            InstrumentProcess vi;
            if (vi.start({"--start-status", "4", "--seed", seed}).isEmpty())
                return QByteArray();
            Line line(vi.device());
            line.send(streamRequest(0x04, 100));
            return line.read(3 * 209); // however the requests were timed
        };
        const QByteArray a = firstFrames("7");
        QCOMPARE(a.size(), 3 * 209);
        QCOMPARE(firstFrames("7"), a);
        QVERIFY(firstFrames("8") != a);
    }

    void replyFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("replies"); // what the first, second, third status read get
        QTest::newRow("stray byte before the 2nd reply")
            << QStringList{"--stray-bytes", "2"} << QStringList{"good", "stray", "good"};
        QTest::newRow("stray byte before every 2nd reply")
            << QStringList{"--stray-bytes", "every:2"} << QStringList{"good", "stray", "good"};
        QTest::newRow("bad CRC on the 1st reply")
            << QStringList{"--bad-crc", "1"} << QStringList{"badcrc", "good", "good"};
        QTest::newRow("exception on the 2nd status read")
            << QStringList{"--exception-on", "40118@2"} << QStringList{"good", "exception", "good"};
        QTest::newRow("exception on every status read")
            << QStringList{"--exception-on", "40118"}
            << QStringList{"exception", "exception", "exception"};
        QTest::newRow("exception elsewhere")
            << QStringList{"--exception-on", "40230"} << QStringList{"good", "good", "good"};
    }

    void replyFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, replies);
        InstrumentProcess vi;
        QVERIFY(!vi.start(args + QStringList{"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        const QByteArray good = readReply({4});
        for (const QString& kind : replies) {
            if (kind == "good") {
                QCOMPARE(line.transact(readRequest(40118, 1), 7), good);
            } else if (kind == "stray") {
                const QByteArray r = line.transact(readRequest(40118, 1), 8);
                QCOMPARE(r.size(), 8);
                QVERIFY(!r.startsWith("\x01"));
                QCOMPARE(r.mid(1), good);
            } else if (kind == "badcrc") {
                const QByteArray r = line.transact(readRequest(40118, 1), 7);
                QCOMPARE(r.left(5), good.left(5));
                QVERIFY(!hasValidCrc(r));
            } else {
                QCOMPARE(line.transact(readRequest(40118, 1), 5), exceptionReply(0x03, 4));
            }
        }
    }

    void streamFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QVector<int>>("counters"); // frame counters of what arrives whole
        QTest::addColumn<QVector<int>>("lengths");  // sizes of the pieces between frame starts
        QTest::newRow("every 2nd frame dropped")
            << QStringList{"--drop-frames", "every:2"} << QVector<int>{0, 2, 4, 6}
            << QVector<int>{209, 209, 209, 209};
        QTest::newRow("3rd frame truncated")
            << QStringList{"--truncate-frames", "3"} << QVector<int>{0, 1, 3, 4}
            << QVector<int>{209, 209, 104, 209, 209};
    }

    void streamFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(QVector<int>, counters);
        QFETCH(QVector<int>, lengths);
        InstrumentProcess vi;
        QVERIFY(!vi.start(args + QStringList{"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        line.send(streamRequest(0x04, 100));
        int total = 0;
        for (int l : lengths)
            total += l;
        const QByteArray bytes = line.read(total);
        QCOMPARE(bytes.size(), total);
        QVector<int> seenLengths, seenCounters;
        int at = 0;
        while (at < bytes.size()) {
            int next = bytes.indexOf("\xAB\x01", at + 1);
            if (next < 0)
                next = bytes.size();
            seenLengths.append(next - at);
            if (next - at == 209)
                seenCounters.append(quint8(bytes[at + 206]));
            at = next;
        }
        QCOMPARE(seenLengths, lengths);
        QCOMPARE(seenCounters.mid(0, counters.size()), counters);
    }

    // "FID" mode: the records stand for the field in the record log, decoded here
    // from the bytes with the instrument's formulas, at the records' own pace.
    void fidModeFrames_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("frameLength");
        QTest::addColumn<int>("frames");
        QTest::addColumn<double>("frameMs");
        QTest::newRow("vector frames") << "vector" << 288 << 20 << 36.0;
        QTest::newRow("FID frames at 1000 Hz") << "scalar" << 80 << 60 << 10.0;
    }

    void fidModeFrames()
    {
        QFETCH(QString, mode);
        QFETCH(int, frameLength);
        QFETCH(int, frames);
        QFETCH(double, frameMs);
        const QString log = QDir::current().absoluteFilePath("records-" + mode + ".txt");
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4", "--fid", mode, "--record-log", log}).isEmpty());
        Line line(vi.device());
        QElapsedTimer clock;
        line.send(streamRequest(0x04, 100));
        clock.start();
        const QByteArray bytes = line.read(frames * frameLength);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(bytes.size(), frames * frameLength);
        const double expectedMs = (frames - 1) * frameMs;
        QVERIFY2(elapsed > 0.7 * expectedMs && elapsed < 2.0 * expectedMs + 200,
                 qPrintable(QString::number(elapsed)));
        line.send(streamRequest(0x06, 100));

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const auto hz = [](const char* r) {
            const qint16 v1 = qFromBigEndian<qint16>(r + 1);
            quint64 v2 = 0;
            for (int i = 3; i < 8; ++i)
                v2 = v2 << 8 | quint8(r[i]);
            return (v1 - 10.0) * 2.62144e14 / double(v2);
        };
        const double g = 6.99583;
        int record = 0;
        for (int f = 0; f < frames; ++f) {
            const char* frame = bytes.constData() + f * frameLength;
            if (mode == "vector") {
                QVERIFY(quint8(frame[0]) == 0xE8 && quint8(frame[8]) == 0xEF &&
                        quint8(frame[16]) == 0xE4 && quint8(frame[24]) == 0xE2);
                for (int v = 0; v < 4; ++v, ++record) {
                    double fr[9];
                    for (int i = 0; i < 9; ++i)
                        fr[i] = hz(frame + 8 * (9 * v + i));
                    const auto axis = [&](int k) {
                        const double a = fr[3 * k + 1], b = fr[3 * k], c = fr[3 * k + 2];
                        return (b * b - c * c) / (4.0 * std::sqrt((b * b + c * c) / 2 - a * a)) / g;
                    };
                    const double decoded[4] = {axis(0), axis(1), axis(2),
                                               (fr[1] + fr[4] + fr[7]) / (3 * g)};
                    const QList<QByteArray> words = lines.value(record).split(' ');
                    QCOMPARE(words.value(0).toInt(), record);
                    for (int k = 0; k < 4; ++k)
                        QVERIFY2(std::fabs(decoded[k] - words.value(k + 1).toDouble()) < 0.01,
                                 qPrintable(lines.value(record)));
                }
            } else {
                for (int r = 0; r < 10; ++r, ++record) {
                    QVERIFY((quint8(frame[8 * r]) & 0xE0) == 0xE0);
                    QCOMPARE(int(frame[8 * r + 1]), 0);
                    const QList<QByteArray> words = lines.value(record).split(' ');
                    QVERIFY2(std::fabs(hz(frame + 8 * r) / g - words.value(1).toDouble()) < 0.01,
                             qPrintable(lines.value(record)));
                }
            }
        }
        // A slowly turning field of about 50 000 nT.
        const QList<QByteArray> first = lines.first().split(' ');
        QVERIFY(std::fabs(first.last().toDouble() - 50000.0) < 5.0);
    }

    void fidModeFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QVector<int>>("pieces"); // sizes as they arrive; 7 is a status reply
        QTest::addColumn<int>("zeroedRecord");    // record of the 1st frame whose value2 is 0
        const QStringList vector{"--fid", "vector"};
        const QStringList scalar{"--fid", "scalar"};
        QTest::newRow("vector: a byte lost in the 2nd frame")
            << vector + QStringList{"--lose-byte", "2"} << QVector<int>{288, 287, 288} << -1;
        QTest::newRow("vector: a status reply before the 2nd frame")
            << vector + QStringList{"--status-in-stream", "2"} << QVector<int>{288, 7, 288} << -1;
        QTest::newRow("vector: a damaged record in the 1st frame")
            << vector + QStringList{"--corrupt-records", "1"} << QVector<int>{288, 288} << 10;
        QTest::newRow("FID: a byte lost in the 2nd frame")
            << scalar + QStringList{"--lose-byte", "2"} << QVector<int>{80, 79, 80} << -1;
        QTest::newRow("FID: a damaged record in the 1st frame")
            << scalar + QStringList{"--corrupt-records", "1"} << QVector<int>{80, 80} << 5;
    }

    void fidModeFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(QVector<int>, pieces);
        QFETCH(int, zeroedRecord);
        const QString log = QDir::current().absoluteFilePath("records-faults.txt");
        InstrumentProcess vi;
        QVERIFY(
            !vi.start(args + QStringList{"--start-status", "4", "--record-log", log}).isEmpty());
        Line line(vi.device());
        line.send(streamRequest(0x04, 100));
        int total = 0;
        for (const int p : pieces)
            total += p;
        const QByteArray bytes = line.read(total);
        QCOMPARE(bytes.size(), total);
        int at = 0;
        for (const int p : pieces) {
            if (p == 7)
                QCOMPARE(bytes.mid(at, 7), readReply({4}));
            else
                QVERIFY((quint8(bytes.at(at)) & 0xE0) == 0xE0);
            at += p;
        }
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QByteArray text = file.readAll();
        if (zeroedRecord >= 0) {
            QCOMPARE(bytes.mid(8 * zeroedRecord + 3, 5), QByteArray(5, '\0'));
            QVERIFY(text.contains(" corrupt"));
        }
        QCOMPARE(text.contains("lost-byte"), args.contains("--lose-byte"));
    }

    // The tracking slips first, with the status still at 4; the instrument
    // notices ten seconds later and the status falls to 1.
    void lossOfLock()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4", "--lose-lock-after", "0.3"}).isEmpty());
        Line line(vi.device());
        line.send(streamRequest(0x04, 100));
        QVector<double> firsts; // first sample of each frame while the status reads 4
        int runAwayFrom = -1;   // index of the first frame off the field
        QElapsedTimer clock;
        clock.start();
        qint64 slippedAt = -1, noticedAt = -1;
        while (clock.elapsed() < 15000 && noticedAt < 0) {
            const QByteArray f = line.read(209);
            QCOMPARE(f.size(), 209);
            const int status = quint8(f[205]);
            if (status != 4) {
                QCOMPARE(status, 1);
                noticedAt = clock.elapsed();
                break;
            }
            firsts << samplesNt(f).first();
            if (runAwayFrom < 0 && firsts.last() > firsts.first() + 2.0) {
                runAwayFrom = firsts.size() - 1;
                slippedAt = clock.elapsed();
            }
        }
        QVERIFY2(runAwayFrom > 0, "the values never left the field");
        QVERIFY(noticedAt > 0);
        QVERIFY2(noticedAt - slippedAt > 9000 && noticedAt - slippedAt < 11500,
                 qPrintable(QString::number(noticedAt - slippedAt)));
        // Out of lock the output runs away steadily: a long strictly rising run.
        const QVector<double> away = firsts.mid(runAwayFrom);
        QVERIFY(away.size() >= 180);
        QVERIFY(std::is_sorted(away.begin(), away.end(), std::less_equal<double>()));
        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({1}));
    }

    // What the settings page writes is stored and shows in the identity block.
    void settingsWritesInIdentity()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        Line line(vi.device());
        const QVector<QByteArray> writes = {
            writeRegisters(40064, {0x2D00, 0x0131}), // sweep start 20000000, low word first
            writeRegisters(40066, {0x4E00, 0x5372}), // sweep end 1400000000
            writeRegisters(40068, {0x0001, 0x0000}), // sweep step 1
            writeRegisters(40083, {1152}),           // 115200 baud
            writeRegisters(40085, {10}),             // data interval
            writeRegisters(40086, {20}),             // 20 Hz
        };
        for (const QByteArray& w : writes)
            QCOMPARE(line.transact(w, 8), withCrc(w.left(6)));
        const QByteArray id = line.transact(QByteArray::fromHex("01039C4000646BA5"), 205);
        QVERIFY(hasValidCrc(id));
        QCOMPARE(u32At(id, 40000, 40064), 20000000u);
        QCOMPARE(u32At(id, 40000, 40066), 1400000000u);
        QCOMPARE(u32At(id, 40000, 40068), 1u);
        QCOMPARE(regAt(id, 40000, 40083), quint16(1152));
        QCOMPARE(regAt(id, 40000, 40085), quint16(10));
        QCOMPARE(regAt(id, 40000, 40086), quint16(20));
    }

    void silentAfter()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4", "--silent-after", "0.2"}).isEmpty());
        Line line(vi.device());
        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({4}));
        QTRY_VERIFY_WITH_TIMEOUT((line.send(readRequest(40118, 1)), line.read(7, 200).isEmpty()),
                                 5000);
    }

    void closeAfter()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4", "--close-after", "0.2"}).isEmpty());
        const QString link = QDir(vi.portDir()).filePath(vi.portName());
        Line line(vi.device());
        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({4}));
        line.read(1, 3000);
        QVERIFY(line.hungUp());
        QVERIFY(vi.waitForExit());
        QCOMPARE(vi.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void portNames()
    {
        const QString dir = QDir::current().filePath("names");
        QDir().mkpath(dir);
        // A link left by an instrument that died is taken over.
        QVERIFY(QFile::link("/dev/pts/nonexistent-99999", QDir(dir).filePath("COM10")));

        // All four in one folder, which the launchers also set for the port list.
        InstrumentProcess a(dir), b(dir), named(dir), clash(dir);
        QCOMPARE(a.start({}), QString("COM10"));
        QCOMPARE(b.start({}), QString("COM11"));
        QCOMPARE(named.start({"--name", "COM7"}), QString("COM7"));
        QVERIFY(clash.start({"--name", "COM7"}).isEmpty());
        QVERIFY(clash.waitForExit());
        QVERIFY(!clash.isRunning());
        QCOMPARE(clash.exitCode(), 2);

        const QStringList names = SerialPortNames::available();
        for (const InstrumentProcess* vi : {&a, &b, &named}) {
            QVERIFY2(names.contains(vi->portName()), qPrintable(names.join(' ')));
            QCOMPARE(SerialPortNames::systemLocation(vi->portName()), vi->device());
        }

        // Ended by a signal, it removes its own link and nothing else.
        a.stop();
        QCOMPARE(a.exitStatus(), QProcess::NormalExit);
        QVERIFY(!QFileInfo(QDir(dir).filePath("COM10")).isSymLink());
        QVERIFY(QFileInfo(QDir(dir).filePath("COM11")).isSymLink());
        QVERIFY(!SerialPortNames::available().contains("COM10"));
        qunsetenv("MAG_PORT_DIR");
    }

    void reconnectAfterTheProgramLeft()
    {
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        {
            Line first(vi.device());
            QCOMPARE(first.transact(readRequest(40118, 1), 7), readReply({4}));
            first.send(streamRequest(0x04, 100));
            QCOMPARE(first.read(209).size(), 209);
        } // closed while the stream runs
        Line second(vi.device());
        // Stream bytes still on the line may come first, and a loaded machine may
        // split the reply between two reads: what arrives is looked at as a whole.
        QByteArray seen;
        QTRY_VERIFY_WITH_TIMEOUT(
            (seen += second.transact(readRequest(40086, 1), 7)).contains(readReply({1000})), 5000);
    }

    void verboseTrace()
    {
        InstrumentProcess vi;
        vi.keepErrorOutput();
        QVERIFY(!vi.start({"--start-status", "4", "--verbose"}).isEmpty());
        Line line(vi.device());
        QCOMPARE(line.transact(readRequest(40118, 1), 7), readReply({4}));
        QTRY_VERIFY_WITH_TIMEOUT(vi.errorOutput().contains("TX 01 03 02 00 04"), 5000);
        QVERIFY2(vi.errorOutput().contains("RX 01 03 9C B6 00 01 4B BC"),
                 qPrintable(vi.errorOutput()));
    }

    void mbpollReadsTheInstrument()
    {
        const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
        QVERIFY2(!mbpoll.isEmpty(), "mbpoll is not installed (scripts/install-deps.sh)");
        InstrumentProcess vi;
        QVERIFY(!vi.start({"--start-status", "4"}).isEmpty());
        auto run = [&](const QStringList& args) {
            ChildProcess p;
            p.setErrorOutput(ChildProcess::ErrorOutput::Kept);
            p.start(mbpoll,
                    QStringList{"-m", "rtu", "-a", "1", "-b", "921600", "-P", "none", "-0", "-1"} +
                        args + QStringList{vi.device()});
            p.waitForExit(10000);
            return QString::fromUtf8(p.output());
        };
        const QString status = run({"-t", "4", "-r", "40118", "-c", "1"});
        QVERIFY2(status.contains(QRegularExpression("\\[40118\\]:\\s+4\\b")), qPrintable(status));

        const QString identity = run({"-t", "4:hex", "-r", "40000", "-c", "100"});
        QVERIFY2(identity.contains(QRegularExpression("\\[40000\\]:\\s+0x0117")),
                 qPrintable(identity));
        QVERIFY2(identity.contains(QRegularExpression("\\[40001\\]:\\s+0x2406")),
                 qPrintable(identity));
        QVERIFY2(identity.contains(QRegularExpression("\\[40086\\]:\\s+0x03E8")),
                 qPrintable(identity));
        QVERIFY2(identity.contains(QRegularExpression("\\[40099\\]:")), qPrintable(identity));
    }
};

MAG_TEST_MAIN_CORE(TestVirtualInstrument)
#include "tst_virtualinstrument.moc"
