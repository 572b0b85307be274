#include "app/Settings.h"
#include "tests/support/DebugLines.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>

#include <cmath>

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

// A file of its own for each row: QSettings keeps a file it has parsed for as
// long as its size and time stay.
QString rowPath(const char* prefix)
{
    return QString("%1-%2.ini").arg(prefix).arg(qHash(QByteArray(QTest::currentDataTag())));
}

QString keyPath(const QString& group, const QString& key)
{
    return group.isEmpty() ? key : group + '/' + key;
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
        QTest::newRow("a file ending in a lone CR keeps it") << QByteArray("x=1\r") << ""
                                                             << "y"
                                                             << "2" << QByteArray("x=1\ry=2\r");
        QTest::newRow("CR line ends, a new group")
            << QByteArray("[Sensitivity]\risTest=1\r") << "Com"
            << "baudRate"
            << "115200" << QByteArray("[Sensitivity]\risTest=1\r\r[Com]\rbaudRate=115200\r");
        QTest::newRow("a comment after the value stays")
            << QByteArray("[Sensitivity]\nisTest=1 ; the debug page\nisChinese=0;en\n")
            << "Sensitivity"
            << "isChinese"
            << "1" << QByteArray("[Sensitivity]\nisTest=1 ; the debug page\nisChinese=1;en\n");
        QTest::newRow("a new key after a comment on the group's last line")
            << QByteArray("[Sensitivity]\r\nisTest=1 ; the debug page\r\n[Com]\r\n")
            << "Sensitivity"
            << "isChinese"
            << "1"
            << QByteArray("[Sensitivity]\r\nisTest=1 ; the debug page\r\nisChinese=1\r\n[Com]\r\n");
        QTest::newRow("a value continued on the next line is replaced whole")
            << QByteArray("[Server]\nGPSCom=Co\\\n  m4 ; port\nGUID=x\n") << "Server"
            << "GPSCom"
            << "Com5" << QByteArray("[Server]\nGPSCom=Com5 ; port\nGUID=x\n");
        QTest::newRow("a key spelt with an escape keeps its spelling")
            << QByteArray("[Sensitivity]\n%69sChinese = 0\n") << "Sensitivity"
            << "isChinese"
            << "1" << QByteArray("[Sensitivity]\n%69sChinese = 1\n");
        QTest::newRow("a text Qt would take for a serialised value")
            << QByteArray("[Server]\nGUID=x\n") << "Server"
            << "GUID"
            << "@Variant(1)" << QByteArray("[Server]\nGUID=@@Variant(1)\n");
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
        // Qt reads it back too; it alone takes a byte-order mark into the first
        // name of the top level, where the program keeps no key.
        if (!before.startsWith("\xEF\xBB\xBF") || !group.isEmpty())
            QCOMPARE(QSettings(path, QSettings::IniFormat).value(keyPath(group, key)).toString(),
                     value);
    }

    // A text is written as Qt writes it, so that both readers read it back.
    void writtenAsQtWritesIt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << "Com5" << QByteArray("Com5");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("blanks inside") << "a b" << QByteArray("a b");
        QTest::newRow("one blank") << " " << QByteArray("\" \"");
        QTest::newRow("';' is quoted") << "a;b" << QByteArray("\"a;b\"");
        QTest::newRow("',' is quoted") << "a,b" << QByteArray("\"a,b\"");
        QTest::newRow("'=' is quoted") << "a=b" << QByteArray("\"a=b\"");
        QTest::newRow("quotes") << "\"q\"" << QByteArray("\\\"q\\\"");
        QTest::newRow("a backslash") << "C:\\data" << QByteArray("C:\\\\data");
        QTest::newRow("control characters") << "a\tb\nc\r\x01" << QByteArray("a\\tb\\nc\\r\\x1");
        QTest::newRow("a hex digit after a hex escape") << "\x01"
                                                           "a"
                                                        << QByteArray("\\x1\\x61");
        QTest::newRow("non-ASCII")
            << QString::fromUtf8("中é1z") << QByteArray("\\x4e2d\\xe9\\x31z");
        QTest::newRow("DEL") << "\x7f" << QByteArray("\\x7f");
        QTest::newRow("a leading '@' is doubled") << "@x" << QByteArray("@@x");
        QTest::newRow("'@@'") << "@@x" << QByteArray("@@@x");
        QTest::newRow("'#' and brackets") << "#[x]" << QByteArray("#[x]");
    }
    void writtenAsQtWritesIt()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        const QString path = rowPath("written");
        writeAll(path, "[Server]\nGPSCom=Com4\nGUID=x\n");
        QVERIFY(Settings::writeValue(path, "Server", "GPSCom", text));
        QCOMPARE(readAll(path), "[Server]\nGPSCom=" + written + "\nGUID=x\n");
        QCOMPARE(Settings::readString(path, "Server", "GPSCom", "?"), text);
        QSettings qt(path, QSettings::IniFormat);
        QCOMPARE(qt.value("Server/GPSCom").toString(), text);
        QCOMPARE(qt.value("Server/GUID").toString(), QString("x"));
    }

    // A write that would not read back as asked leaves the file as it was,
    // says why on the debug output, and tells the caller.
    void writesThatWouldNotReadBack_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        const QByteArray plain("[Server]\nGUID=x\n");
        QTest::newRow("a NUL in the text") << plain << "Server"
                                           << "GUID" << QVariant(QString("a") + QChar(0) + "b");
        QTest::newRow("a value without a text form") << plain << "Server"
                                                     << "GUID" << QVariant(QStringList{"a", "b"});
        QTest::newRow("a key that reads as another") << plain << "Server"
                                                     << "a=b" << QVariant(1);
        QTest::newRow("a key with a comment sign") << plain << "Server"
                                                   << "a;b" << QVariant(1);
        QTest::newRow("a group that reads as another") << plain << "Com]x"
                                                       << "baudRate" << QVariant(1);
        QTest::newRow("a file ending in a backslash would take the new line in")
            << QByteArray("[Server]\nGUID=x\\") << "Server"
            << "GPSCom" << QVariant("Com4");
        QTest::newRow("a file ending in an open quote would take it in")
            << QByteArray("[Server]\nGUID=\"x\n") << "Com"
            << "baudRate" << QVariant(115200);
    }
    void writesThatWouldNotReadBack()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        const QString path = rowPath("refused");
        writeAll(path, before);
        DebugLines debug;
        QVERIFY(!Settings::writeValue(path, group, key, value));
        QCOMPARE(readAll(path), before);
        QCOMPARE(debug.countStarting("settings: " + keyPath(group, key) + " not written to"), 1);
    }

    // Every file is read as QSettings reads it in INI format, and each value
    // gives what a caller would get through it (strings, and numbers by toInt
    // and toDouble), except that a number Qt would wrap or read as 0 from a
    // text gives the default.
    void readsAsQtDoes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("qtReads");
        const QString missing = "(default)";
        const auto row = [](const char* name, const QByteArray& file, const QString& group,
                            const QString& key, const QString& reads) {
            QTest::newRow(name) << file << group << key << reads;
        };
        // comments
        row("';' after a value", "[Sensitivity]\nisTest=1 ; the debug page\n", "Sensitivity",
            "isTest", "1");
        row("';' after blanks round '='", "[Sensitivity]\nisChinese = 1 ; Chinese\n", "Sensitivity",
            "isChinese", "1");
        row("';' right after the value", "[Com]\nbaudRate=115200;fast\n", "Com", "baudRate",
            "115200");
        row("';' inside quotes", "[Server]\nGPSCom=\"Com;4\" ; port\n", "Server", "GPSCom",
            "Com;4");
        row("quotes anywhere in the value", "[Server]\nGPSCom=a\"b;c\"d ;e\n", "Server", "GPSCom",
            "ab;cd ");
        row("a line starting with ';'", "[Sensitivity]\n;isTest=1\n  ; isTest=2\n", "Sensitivity",
            "isTest", missing);
        row("'#' after a value is part of it", "[Sensitivity]\nisTest=1 # on\n", "Sensitivity",
            "isTest", "1 # on");
        row("a line starting with '#' is a key", "[Sensitivity]\n#isTest=1\n", "Sensitivity",
            "#isTest", "1");
        // quotes and blanks
        row("blanks inside quotes", "[Sensitivity]\nyAxisLower=\" 0.5 \"\n", "Sensitivity",
            "yAxisLower", " 0.5 ");
        row("blanks after a closing quote", "[Server]\nGPSCom=\"Com\" 4 \n", "Server", "GPSCom",
            "Com4 ");
        row("blanks and tabs round names and value", "\t [Com] \n\t baudRate \t=\t 115200 \t\n",
            "Com", "baudRate", "115200");
        row("an empty value", "[Sensitivity]\nisTest=\n", "Sensitivity", "isTest", "");
        row("an empty quoted value", "[Server]\nGPSCom=\"\"\n", "Server", "GPSCom", "");
        // escapes
        row("a backslash escaped in quotes", "[Server]\nGPSCom=\"C:\\\\data\"\n", "Server",
            "GPSCom", "C:\\data");
        row("\\x with four hex digits", "[Server]\nGPSCom=\\x4e2d\n", "Server", "GPSCom",
            QString::fromUtf8("中"));
        row("\\x takes every hex digit, keeps 16 bits", "[Server]\nGPSCom=\\x1234567g\n", "Server",
            "GPSCom", QString(QChar(0x4567)) + "g");
        row("\\x without a digit", "[Server]\nGPSCom=a\\xg\n", "Server", "GPSCom", "ag");
        row("one-letter escapes", "[Server]\nGPSCom=\\a\\b\\f\\n\\r\\t\\v\\'\\?\\\"\\\\\n",
            "Server", "GPSCom", "\a\b\f\n\r\t\v'?\"\\");
        row("octal escapes", "[Server]\nGPSCom=\\101\\0608\n", "Server", "GPSCom", "A08");
        row("an unknown escape is dropped", "[Server]\nGPSCom=C\\om\\z4\n", "Server", "GPSCom",
            "Cm4");
        row("blanks before an escape stay", "[Server]\nGPSCom=a \\x20 \n", "Server", "GPSCom",
            "a  ");
        row("a backslash at the file's end", "[Server]\nGPSCom=a \\", "Server", "GPSCom", "a ");
        row("a backslash continues the line", "[Server]\nGPSCom=Co\\\n  m4\nx=1\n", "Server",
            "GPSCom", "Co  m4");
        row("continued over CR LF", "[Server]\r\nGPSCom=Co\\\r\nm4\r\n", "Server", "GPSCom",
            "Com4");
        row("continued over a lone CR", "[Server]\rGPSCom=Co\\\rm4\r", "Server", "GPSCom", "Com4");
        row("an open quote goes on over line ends", "[Server]\nGPSCom=\"Com4\nGUID=x\"\n", "Server",
            "GPSCom", "Com4\nGUID=x");
        row("what an open quote took in is no key", "[Server]\nGPSCom=\"Com4\nGUID=x\"\n", "Server",
            "GUID", missing);
        // commas
        row("a comma makes a list, which reads as empty", "[Server]\nGPSCom=Com4, Com5\n", "Server",
            "GPSCom", "");
        row("a list is no number", "[Com]\nbaudRate=115,200\n", "Com", "baudRate", "");
        row("a quoted comma", "[Server]\nGPSCom=\"Com4, Com5\"\n", "Server", "GPSCom",
            "Com4, Com5");
        row("an escaped comma is dropped", "[Server]\nGPSCom=Com\\,4\n", "Server", "GPSCom",
            "Com4");
        // line ends
        row("CR line ends", "[Sensitivity]\risTest=1\risChinese=1\r", "Sensitivity", "isChinese",
            "1");
        row("CR LF line ends", "[Sensitivity]\r\nisTest=1\r\n", "Sensitivity", "isTest", "1");
        row("a lone CR at the end", "[Sensitivity]\nisTest=1\r", "Sensitivity", "isTest", "1");
        row("LF CR line ends", "[Sensitivity]\n\risTest=1\n\r", "Sensitivity", "isTest", "1");
        // groups
        row("keys above the first group", "isTest=1\n[Sensitivity]\nisTest=2\n", "", "isTest", "1");
        row("[General] is the top level", "[Sensitivity]\nx=1\n[General]\nisTest=3\n", "", "isTest",
            "3");
        row("no group is named General", "[General]\nisTest=3\n", "General", "isTest", missing);
        row("[%General] is named General", "[%General]\nisTest=4\n", "General", "isTest", "4");
        row("a group's name is trimmed", "[ Com ]\nbaudRate=115200\n", "Com", "baudRate", "115200");
        row("group names are case-sensitive", "[com]\nbaudRate=115200\n", "Com", "baudRate",
            missing);
        row("%XX in a group's name", "[C%6Fm]\nbaudRate=115200\n", "Com", "baudRate", "115200");
        row("a group without ']'", "[Com\nbaudRate=115200\n", "Com", "baudRate", "115200");
        row("text after ']' goes with the header", "[Com]baudRate=9600\n", "Com", "baudRate",
            missing);
        row("a group given twice", "[Com]\nbaudRate=9600\n[Server]\nx=1\n[Com]\nbaudRate=115200\n",
            "Com", "baudRate", "115200");
        row("a key given twice", "[Com]\nbaudRate=115200\nbaudRate=9600\n", "Com", "baudRate",
            "9600");
        // keys
        row("%XX in a key", "[Sensitivity]\n%69sTest=1\n", "Sensitivity", "isTest", "1");
        row("%UXXXX in a key", "[Sensitivity]\n%U0069sTest=1\n", "Sensitivity", "isTest", "1");
        row("keys are case-sensitive", "[Sensitivity]\nIsTest=1\n", "Sensitivity", "isTest",
            missing);
        row("blanks inside a key", "[Server]\nkey with blanks = 3\n", "Server", "key with blanks",
            "3");
        row("a backslash in a key parts groups", "[Server]\nGPS\\Com=x\n", "Server/GPS", "Com",
            "x");
        row("'=' in the value", "[Server]\nGUID=a=b=c\n", "Server", "GUID", "a=b=c");
        row("a quoted '=' belongs to the key", "[Server]\n\"GUID=a\"=b\n", "Server", "\"GUID=a\"",
            "b");
        // bytes
        row("UTF-8 after a byte-order mark", "\xEF\xBB\xBF[Server]\nGPSCom=\xE4\xB8\xAD\n",
            "Server", "GPSCom", QString::fromUtf8("中"));
        row("Latin-1 without one", "[Server]\nGPSCom=\xE4\xB8\xAD\n", "Server", "GPSCom",
            QString::fromLatin1("\xE4\xB8\xAD"));
        row("a stray byte after a byte-order mark", "\xEF\xBB\xBF[Server]\nGPSCom=\xE9\n", "Server",
            "GPSCom", QString(QChar(0xFFFD)));
        row("a NUL byte", QByteArray("[Server]\nGPSCom=a") + '\0' + "b\n", "Server", "GPSCom",
            QString("a") + QChar(0) + "b");
        // texts with an '@' that Qt reads as texts
        row("'@@' is one '@'", "[Server]\nGPSCom=@@Com4\n", "Server", "GPSCom", "@Com4");
        row("'@' without a type", "[Server]\nGPSCom=@Com4\n", "Server", "GPSCom", "@Com4");
        row("a type without ')'", "[Server]\nGPSCom=@String(Com4\n", "Server", "GPSCom",
            "@String(Com4");
        // numbers
        row("a number with blanks in quotes", "[Com]\nbaudRate=\" 115200 \"\n", "Com", "baudRate",
            " 115200 ");
        row("a sign", "[Sensitivity]\nxAxisUpper=+200\n", "Sensitivity", "xAxisUpper", "+200");
        row("beyond int, which Qt wraps", "[Sensitivity]\nxAxisUpper=4294967297\n", "Sensitivity",
            "xAxisUpper", "4294967297");
        row("an exponent", "[Sensitivity]\nyAxisLower=1e-5\n", "Sensitivity", "yAxisLower", "1e-5");
        row("a fraction", "[Sensitivity]\nxAxisUpper=1.5\n", "Sensitivity", "xAxisUpper", "1.5");
        row("nan", "[Sensitivity]\nyAxisUpper=nan\n", "Sensitivity", "yAxisUpper", "nan");
    }
    void readsAsQtDoes()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QString, qtReads);
        const QString path = rowPath("qt");
        writeAll(path, file);
        const QString fallback = "(default)";
        const int intFallback = -7;
        const double doubleFallback = -7.5;

        const QVariant qt =
            QSettings(path, QSettings::IniFormat).value(keyPath(group, key), fallback);
        QCOMPARE(qt.toString(), qtReads);
        QCOMPARE(Settings::readString(path, group, key, fallback), qtReads);

        bool ok = false;
        const int qtInt = qt.toInt(&ok);
        QCOMPARE(Settings::readInt(path, group, key, intFallback),
                 ok && qt.toLongLong() == qtInt ? qtInt : intFallback);
        const double qtDouble = qt.toDouble(&ok);
        QCOMPARE(Settings::readDouble(path, group, key, doubleFallback),
                 ok && std::isfinite(qtDouble) ? qtDouble : doubleFallback);
    }

    // The forms Qt turns into objects are never read: each gives the default
    // and says so.
    void serialisedValuesGiveTheDefault_data()
    {
        QTest::addColumn<QByteArray>("value");
        for (const char* value :
             {"@ByteArray(5)", "@String(5)", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)",
              "@DateTime(\\0)", "@Rect(5 5 5 5)", "@Size(5 5)", "@Point(5 5)", "@Invalid()"})
            QTest::newRow(value) << QByteArray(value);
    }
    void serialisedValuesGiveTheDefault()
    {
        QFETCH(QByteArray, value);
        const QString path = rowPath("serialised");
        writeAll(path, "[Com]\nbaudRate=" + value + "\n");
        DebugLines debug;
        QCOMPARE(Settings::readString(path, "Com", "baudRate", "x"), QString("x"));
        QCOMPARE(Settings::readInt(path, "Com", "baudRate", 7), 7);
        QCOMPARE(Settings::readDouble(path, "Com", "baudRate", 7.5), 7.5);
        QCOMPARE(debug.count("config: Com/baudRate holds a serialised value"), 3);
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
