// Reply decoding: converters, status word, parameter block, identity block, and
// the decoder object's dispatch in its own thread.

#include "app/Logger.h"
#include "device/ModbusDataHandler.h"
#include "device/ReplyDecoding.h"
#include "tests/support/DebugLines.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QSignalSpy>
#include <cstring>
#include <memory>

using namespace ModbusTestFrames;
using namespace ReplyDecoding;

namespace {
// 32-bit value split into registers low word first, as the instrument stores it.
void putWordSwapped(QVector<quint16>& regs, int index, quint32 bits)
{
    regs[index] = quint16(bits & 0xFFFF);
    regs[index + 1] = quint16(bits >> 16);
}

quint32 floatBits(float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// 124 registers from 40100 with each field of the block set to its own value.
QByteArray parameterBlock()
{
    QVector<quint16> regs(124, 0);
    const auto putFloat = [&regs](int reg, float v) {
        putWordSwapped(regs, reg - 40100, floatBits(v));
    };
    putWordSwapped(regs, 0, 123456789u); // 40100: DDS frequency
    putFloat(40126, 1.25f);              // vcsel
    putFloat(40146, 2.5f);               // vcsel default
    putFloat(40134, 81.75f);             // vapour cell
    putFloat(40158, 0.625f);             // pd
    putFloat(40154, -3.5f);              // pde
    putFloat(40122, 1.5f);               // vcsel set
    putFloat(40142, 2.75f);              // vcsel default set
    putFloat(40130, 80.0f);              // vapour cell set
    return readReply(regs);
}

QByteArray identityBlock(quint16 r40000, quint16 r40001, quint32 start, quint32 end, quint32 step,
                         quint16 rate = 0)
{
    QVector<quint16> regs(100, 0);
    regs[86] = rate;
    regs[0] = r40000;
    regs[1] = r40001;
    putWordSwapped(regs, 64, start);
    putWordSwapped(regs, 66, end);
    putWordSwapped(regs, 68, step);
    return readReply(regs);
}
} // namespace

class TestReplyDecoding : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerHubMetaTypes(); }

    void converters()
    {
        const QByteArray abcd("\x12\x34\x56\x78", 4);
        QCOMPARE(byteArrayToUInt32(abcd).value, 0x12345678u);
        QVERIFY(byteArrayToUInt32(abcd).ok);
        QCOMPARE(byteArrayToUInt(abcd).value, 0x1234u);
        QVERIFY(byteArrayToUInt(abcd).ok);
        QCOMPARE(byteArrayToFloat(QByteArray("\x3F\x80\x00\x00", 4)).value, 1.0f);
        QCOMPARE(swapWordOrder(abcd), QByteArray("\x56\x78\x12\x34", 4));
        QCOMPARE(swapWordOrder(QByteArray("\x01", 1)), QByteArray());
        QCOMPARE(reverseBytes(abcd), QByteArray("\x78\x56\x34\x12", 4));
        // Too short: 0 and not ok, not a read past the end.
        QCOMPARE(byteArrayToUInt32(abcd.left(3)).value, 0u);
        QVERIFY(!byteArrayToUInt32(abcd.left(3)).ok);
        QCOMPARE(byteArrayToUInt(abcd.left(1)).value, 0u);
        QVERIFY(!byteArrayToUInt(abcd.left(1)).ok);
        QCOMPARE(byteArrayToFloat(abcd.left(2)).value, 0.0f);
        QVERIFY(!byteArrayToFloat(abcd.left(2)).ok);
    }

    // A reply too short for its fields: each unread field is 0 and names its converter.
    void shortRepliesNameTheirFaults()
    {
        QStringList faults;
        QCOMPARE(decodeStatus(QByteArray("\x01\x03\x02\x00", 4), &faults), 0);
        QCOMPARE(faults, QStringList{"byteArrayToUInt size error."});

        faults.clear();
        const RefreshData d = decodeParameterBlock(parameterBlock().left(100), &faults);
        QCOMPARE(d.vcsel, 1.25); // bytes 55-58 are there
        QCOMPARE(d.pd, 0.0);
        QCOMPARE(faults, QStringList({"byteArrayToFloat size error.",
                                      "byteArrayToFloat size error."})); // pd and pde

        faults.clear();
        const IdentityBlock block =
            decodeIdentityBlock(identityBlock(1, 2, 3, 4, 5).left(137), &faults);
        QCOMPARE(block.sweep.fsStart, 3u);
        QCOMPARE(faults,
                 QStringList({"byteArrayToUInt32 size error.", "byteArrayToUInt32 size error."}));

        faults.clear();
        decodeParameterBlock(parameterBlock(), &faults);
        QVERIFY(faults.isEmpty());
    }

    void parameterBlockFields()
    {
        const QByteArray reply = parameterBlock();
        QCOMPARE(reply.size(), 253);
        const RefreshData d = decodeParameterBlock(reply);
        QCOMPARE(d.vcsel, 1.25);
        QCOMPARE(d.vcselDefault, 2.5);
        QCOMPARE(d.vaporCell, 81.75);
        QCOMPARE(d.pd, 0.625);
        QCOMPARE(d.pde, -3.5);
        QCOMPARE(d.vcselSet, 1.5);
        QCOMPARE(d.vcselDefaultSet, 2.75);
        QCOMPARE(d.vaporCellSet, 80.0);
        QCOMPARE(d.word40100, quint64(123456789u));

        // Bytes 55-58 = 00 00 3F 80 is 1.0 once the words are swapped.
        QByteArray one(253, '\0');
        one[57] = '\x3F';
        one[58] = '\x80';
        QCOMPARE(decodeParameterBlock(one).vcsel, 1.0);
    }

    void identity_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("hasSerial");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<quint32>("fsStart");
        QTest::addColumn<quint32>("fsEnd");
        QTest::addColumn<quint32>("fsStep");
        QTest::addColumn<int>("rateRegister");

        QTest::newRow("whole block") << identityBlock(0x1234, 0x5678, 85536, 2000000, 250, 1000)
                                     << true << "56781234" << 85536u << 2000000u << 250u << 1000;
        QTest::newRow("hex letters upper case") << identityBlock(0xbeef, 0x00ca, 1, 2, 3, 20)
                                                << true << "00CABEEF" << 1u << 2u << 3u << 20;
        QTest::newRow("only three bytes")
            << QByteArray("\x01\x03\xC8", 3) << false << "" << 0u << 0u << 0u << 0;
    }
    void identity()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, hasSerial);
        QFETCH(QString, serial);
        const IdentityBlock block = decodeIdentityBlock(reply);
        QCOMPARE(block.hasSerialNumber, hasSerial);
        QCOMPARE(block.serialNumber, serial);
        QTEST(block.sweep.fsStart, "fsStart");
        QTEST(block.sweep.fsEnd, "fsEnd");
        QTEST(block.sweep.fsStep, "fsStep");
        QTEST(block.rateRegister, "rateRegister");
    }

    void identityStartBytes()
    {
        // Bytes 131-134 = 4E 20 00 01 give 0x00014E20.
        QByteArray reply(205, '\0');
        reply[131] = '\x4E';
        reply[132] = '\x20';
        reply[134] = '\x01';
        QCOMPARE(decodeIdentityBlock(reply).sweep.fsStart, 85536u);
    }

    void samplingRate_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("rate");
        QTest::newRow("1 ms") << 0.001 << 1000;
        QTest::newRow("50 ms") << 0.05 << 20;
        QTest::newRow("1 s") << 1.0 << 1;
        QTest::newRow("zero step") << 0.0 << 0;
        QTest::newRow("negative step") << -0.5 << 0;
    }
    void samplingRate()
    {
        QFETCH(double, step);
        QTEST(samplingRateFromStep(step), "rate");
    }

    // The decoder object in its own thread: each reply kind gives its signals.
    void dispatch()
    {
        ModbusDataHandler handler;
        QSignalSpy progress(&handler, &ModbusDataHandler::sig_updateProgress);
        QSignalSpy params(&handler, &ModbusDataHandler::sig_updateFormParam);
        QSignalSpy serial(&handler, &ModbusDataHandler::sig_updateSerialNumber);
        QSignalSpy sweep(&handler, &ModbusDataHandler::sig_updateFormParamEx);
        QSignalSpy rate(&handler, &ModbusDataHandler::sig_updateSamplingRate);

        const auto send = [&handler](ModbusAddr addr, const QByteArray& data) {
            QMetaObject::invokeMethod(&handler, "slots_readDataFinished", Qt::QueuedConnection,
                                      Q_ARG(ModbusAddr, addr), Q_ARG(QByteArray, data));
        };
        // Replies without a decoded result first: they must add nothing.
        send(Addr40118Restart, request(1, 0x06, 40118, 1, false));
        send(AddrCustom, request(1, 0x06, 40086, 20, false));
        send(Addr40230, readReply({1, 2, 3}));
        send(ModbusAddr(13), readReply({3}));
        DataParam param;
        param.dataRate = 0.05;
        QMetaObject::invokeMethod(&handler, "slots_syncDataParam", Qt::QueuedConnection,
                                  Q_ARG(DataParam, param));
        send(Addr40118Status, readReply({3}));
        send(Addr40100Params, parameterBlock());
        send(Addr40000Identity, identityBlock(0x0001, 0x2026, 10, 20, 30));

        QTRY_COMPARE_WITH_TIMEOUT(rate.count(), 1, 5000);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.at(0).at(0).toInt(), 3);
        QCOMPARE(params.count(), 1);
        QCOMPARE(params.at(0).at(0).value<RefreshData>().vaporCell, 81.75);
        QCOMPARE(serial.count(), 1);
        QCOMPARE(serial.at(0).at(0).toString(), QString("20260001"));
        QCOMPARE(sweep.count(), 1);
        QCOMPARE(sweep.at(0).at(0).value<RefreshDataEx>().fsStep, 30u);
        QCOMPARE(rate.at(0).at(0).toInt(), 20);
    }

    // A stream of damaged replies costs the daily log one line, not one per field
    // and reply; every message stays on the debug output, and the values still go out.
    void shortRepliesLogOnce()
    {
        QFile log(Logger::instance()->currentFilePath());
        const qint64 logBefore = log.size();
        ModbusDataHandler handler;
        QSignalSpy params(&handler, &ModbusDataHandler::sig_updateFormParam);
        auto debug = std::make_unique<DebugLines>(); // the converter's messages
        constexpr int Replies = 50;
        for (int i = 0; i < Replies; ++i)
            QMetaObject::invokeMethod(&handler, "slots_readDataFinished", Qt::QueuedConnection,
                                      Q_ARG(ModbusAddr, Addr40100Params),
                                      Q_ARG(QByteArray, parameterBlock().left(60)));
        QTRY_COMPARE_WITH_TIMEOUT(params.count(), Replies, 5000);
        const int sizeErrors = debug->count(" size error.");
        debug.reset();
        // Six of the nine fields lie past byte 60.
        QCOMPARE(sizeErrors, 6 * Replies);
        QCOMPARE(params.last().at(0).value<RefreshData>().vcsel, 1.25);

        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        log.seek(logBefore);
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains("byteArrayToFloat size error."), qPrintable(lines.first()));
    }
};

MAG_TEST_MAIN_CORE(TestReplyDecoding)
#include "tst_replydecoding.moc"
