#include "app/Settings.h"
#include "tests/support/TestMain.h"

#include <QFile>

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
