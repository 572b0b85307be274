#include "app/Settings.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace {
QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QFile::remove("plain.ini"); }

    // A write reads the whole file first: a damaged value elsewhere in it must
    // neither stop the program nor be lost.
    void writeKeepsEveryOtherKey()
    {
        QFile file("plain.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Sensitivity]\nxAxisUpper=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
                   "isChinese=0\n[Com]\nbaudRate=115200\n");
        file.close();

        QVERIFY(Settings::writeValue("plain.ini", "Sensitivity", "isChinese", 1));
        QCOMPARE(Settings::readInt("plain.ini", "Sensitivity", "isChinese", 0), 1);
        QCOMPARE(Settings::readInt("plain.ini", "Com", "baudRate", 0), 115200);
        QCOMPARE(Settings::readInt("plain.ini", "Sensitivity", "xAxisUpper", 150), 150);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("xAxisUpper=@Variant("));
    }

    // A write changes the key's own line, or adds one; every other line of the
    // file stays as it was, byte for byte, and reads back as before.
    void writeKeepsEveryOtherLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("quoted and padded values elsewhere")
            << QByteArray("[Com]\nbaudRate=\"\"115200\"\"\n[Sensitivity]\nxAxisUpper= \" 150 \" \n"
                          "isChinese=0\n")
            << "Sensitivity"
            << "isChinese"
            << "1"
            << QByteArray("[Com]\nbaudRate=\"\"115200\"\"\n[Sensitivity]\nxAxisUpper= \" 150 \" \n"
                          "isChinese=1\n");
        QTest::newRow("the key's line keeps its spelling, CRLF stays")
            << QByteArray("; settings\r\n[Com]\r\n  baudRate =  921600  \r\n\r\n[Server]\r\nx=1")
            << "Com"
            << "baudRate"
            << "115200"
            << QByteArray("; settings\r\n[Com]\r\n  baudRate =  115200\r\n\r\n[Server]\r\nx=1");
        QTest::newRow("a new key after the group's last line, before the blank")
            << QByteArray("[Sensitivity]\nisTest=1\n# note\n\n[Com]\nbaudRate=115200\n")
            << "Sensitivity"
            << "isChinese"
            << "1"
            << QByteArray(
                   "[Sensitivity]\nisTest=1\nisChinese=1\n# note\n\n[Com]\nbaudRate=115200\n");
        QTest::newRow("a new group at the end of a file without a last line end")
            << QByteArray("[Sensitivity]\nisChinese=1") << "Com"
            << "baudRate"
            << "115200" << QByteArray("[Sensitivity]\nisChinese=1\n\n[Com]\nbaudRate=115200\n");
        QTest::newRow("of a key given twice the last one, which the readers take")
            << QByteArray("[Com]\nbaudRate=9600\n[Sensitivity]\nisTest=0\n[Com]\nbaudRate=4800\n")
            << "Com"
            << "baudRate"
            << "115200"
            << QByteArray(
                   "[Com]\nbaudRate=9600\n[Sensitivity]\nisTest=0\n[Com]\nbaudRate=115200\n");
        QTest::newRow("groups out of order, odd lines and a byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Server]\nGUID=@@x\ngarbage\n=1\n[Com]\nbaudRate=921600\n"
                          "[Sensitivity]\nxAxisUpper=@Variant(\\0\\0\\0\\t)\n")
            << "Server"
            << "GUID"
            << "0b7e6a1c-1111-2222-3333-444455556666"
            << QByteArray(
                   "\xEF\xBB\xBF[Server]\nGUID=0b7e6a1c-1111-2222-3333-444455556666\ngarbage\n"
                   "=1\n[Com]\nbaudRate=921600\n[Sensitivity]\nxAxisUpper=@Variant(\\0\\0\\0\\t)"
                   "\n");
        QTest::newRow("a key on the first line after a byte-order mark")
            << QByteArray("\xEF\xBB\xBFisChinese=0\n") << ""
            << "isChinese"
            << "1" << QByteArray("\xEF\xBB\xBFisChinese=1\n");
        QTest::newRow("a missing file") << QByteArray() << "Com"
                                        << "baudRate"
                                        << "115200" << QByteArray("[Com]\nbaudRate=115200\n");
        QTest::newRow("a text with blanks round it is quoted")
            << QByteArray("[Server]\nGPSCom=Com4\n") << "Server"
            << "GPSCom"
            << " Com5 " << QByteArray("[Server]\nGPSCom=\" Com5 \"\n");
    }
    void writeKeepsEveryOtherLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString path = QString("write-%1.ini").arg(QTest::currentDataTag());
        if (!before.isEmpty())
            writeAll(path, before);
        QVERIFY(Settings::writeValue(path, group, key, value));
        QCOMPARE(readAll(path), after);
        QCOMPARE(Settings::readString(path, group, key, "?"), value);
        QVERIFY(Settings::writeValue(path, group, key, value));
        QCOMPARE(readAll(path), after); // the same write again changes nothing
    }

    // A FIFO in place of "config.ini" or "logs/server.ini": the
    // readers give the defaults and the writer refuses, at once, and leave it.
    void fifoInPlaceOfTheFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("config.ini") << "config.ini";
        QTest::newRow("logs/server.ini") << "logs/server.ini";
    }
    void fifoInPlaceOfTheFile()
    {
        QFETCH(QString, path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        FifoInPlace fifo(path);
        QVERIFY(fifo.isValid());
        int number = 0;
        QString text;
        bool written = true;
        QVERIFY2(fifo.returnsWithin(3000,
                                    [&] {
                                        number = Settings::readInt(path, "Com", "baudRate", 921600);
                                        text = Settings::readString(path, "Server", "GUID", "none");
                                        written = Settings::writeValue(path, "Com", "baudRate", 1);
                                    }),
                 "blocked on the FIFO");
        QCOMPARE(number, 921600);
        QCOMPARE(text, QString("none"));
        QVERIFY(!written);
        QVERIFY(fifo.stillThere());
    }

    void valuesThatCannotBeRead_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<double>("asDouble");
        QTest::newRow("plain") << QByteArray("42") << 42 << 42.0;
        QTest::newRow("quoted") << QByteArray("\"42\"") << 42 << 42.0;
        QTest::newRow("above int") << QByteArray("2147483648") << -1 << 2147483648.0;
        QTest::newRow("wraps to 1") << QByteArray("4294967297") << -1 << 4294967297.0;
        QTest::newRow("fraction") << QByteArray("1.5") << -1 << 1.5;
        QTest::newRow("nan") << QByteArray("nan") << -1 << -1.0;
        QTest::newRow("inf") << QByteArray("-inf") << -1 << -1.0;
        QTest::newRow("empty") << QByteArray("") << -1 << -1.0;
        QTest::newRow("serialised") << QByteArray("@Variant(\\0\\0\\0\\x2)") << -1 << -1.0;
    }
    void valuesThatCannotBeRead()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, asInt);
        QFETCH(double, asDouble);
        // A file per row: QSettings keeps a parsed file until its size or time changes.
        const QString path = QString("row-%1.ini").arg(QTest::currentDataTag());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[G]\nk=" + value + "\n");
        file.close();
        QCOMPARE(Settings::readInt(path, "G", "k", -1), asInt);
        QCOMPARE(Settings::readDouble(path, "G", "k", -1.0), asDouble);
    }

    void textsWithAnAt()
    {
        QFile file("plain.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Server]\nGPSCom=@@Com4\nGUID=@ByteArray(abc)\n");
        file.close();
        QCOMPARE(Settings::readString("plain.ini", "Server", "GPSCom", "x"), QString("@Com4"));
        QCOMPARE(Settings::readString("plain.ini", "Server", "GUID", "x"), QString("x"));
        QCOMPARE(Settings::readString("missing.ini", "Server", "GUID", "x"), QString("x"));
    }
};

MAG_TEST_MAIN_CORE(TestSettings)
#include "tst_settings.moc"
