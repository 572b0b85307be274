// Request bodies and backlog lines, byte for byte, and the GUIDs the client keeps.

#include "app/Settings.h"
#include "services/ServerBodies.h"
#include "tests/support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

class TestServerBodies : public QObject
{
    Q_OBJECT
private slots:
    void fixedBodies_data();
    void fixedBodies();
    void scalarBody();
    void thousandValuesAndEmpty();
    void vectorBody();
    void backlogRecords();
    void valuesAreNeverSubstitutedAgain();
    void usableGuid_data();
    void usableGuid();
    void usableGuidSurvivesTheSettingsFile();
};

void TestServerBodies::fixedBodies_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("expected");
    const QString guid = "5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30";
    QTest::newRow("register") << ServerBodies::registerBody("MZ")
                              << QByteArray("\n                {\"deviceType\": \"MZ\"}\n"
                                            "            ");
    QTest::newRow("heartbeat") << ServerBodies::heartbeatBody(guid)
                               << QByteArray("\n            {\"deviceGuid\": "
                                             "\"5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30\"}\n"
                                             "        ");
    QTest::newRow("status") << ServerBodies::statusBody(guid, 31.2304167, 121.4737, 4.5)
                            << QByteArray("\n"
                                          "                 {\n"
                                          "                    \"deviceGuid\": "
                                          "\"5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30\",\n"
                                          "                    \"gpsInfo\": \"{\\\"latitude\\\": "
                                          "31.2304, \\\"longitude\\\": 121.474 ,\\\"altitude\\\": "
                                          "4.5}\"\n"
                                          "\n"
                                          "                 }\n"
                                          "                ");
    QTest::newRow("status, south-west") << ServerBodies::statusBody("g", -33.8688, -70.0, 0)
                                        << QByteArray("\n                 {\n"
                                                      "                    \"deviceGuid\": \"g\",\n"
                                                      "                    \"gpsInfo\": "
                                                      "\"{\\\"latitude\\\": -33.8688, "
                                                      "\\\"longitude\\\": -70 ,\\\"altitude\\\": "
                                                      "0}\"\n\n                 }\n"
                                                      "                ");
}

void TestServerBodies::fixedBodies()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, expected);
    QCOMPARE(body.toUtf8(), expected);
}

void TestServerBodies::scalarBody()
{
    const QString body =
        ServerBodies::scalarBody("G", "MZ", 1765000000123, {50000.0, -1.005, 2.5}, 1000, 1);
    const QByteArray expected = "\n"
                                "        {\n"
                                "           \"deviceId\": \"G\",\n"
                                "           \"deviceType\": \"MZ\",\n"
                                "           \"time\": 1765000000123,\n"
                                "           \"sensorData\": {\n"
                                "           \"dataType\": \"SCALAR\",\n"
                                "           \"values\": [50000.00, -1.00, 2.50],\n"
                                "           \"samplingRate\": 1000,\n"
                                "           \"intervalMs\": 1\n"
                                "           }\n"
                                "        }\n"
                                "            ";
    // -1.005 is just below -1.005 in binary: two decimals give -1.00.
    QCOMPARE(body.toUtf8(), expected);
    QVERIFY(!QJsonDocument::fromJson(body.toUtf8()).isNull());
}

void TestServerBodies::thousandValuesAndEmpty()
{
    QVector<double> values;
    for (int i = 0; i < 1000; ++i)
        values << 49999.5 + i * 0.001;
    const QString text = ServerBodies::buildScalarValuesJson(values);
    const QStringList items = text.mid(1, text.size() - 2).split(", ");
    QCOMPARE(items.size(), 1000);
    const QRegularExpression twoDecimals("^\\d+\\.\\d\\d$");
    for (const QString& item : items)
        QVERIFY2(twoDecimals.match(item).hasMatch(), qPrintable(item));
    QCOMPARE(items.first(), QString("49999.50"));
    QCOMPARE(items.last(), QString("50000.50")); // 49999.5 + 0.999
    QVERIFY(text.startsWith('[') && text.endsWith(']'));
    QCOMPARE(ServerBodies::buildScalarValuesJson({}), QString("[]"));
    QCOMPARE(ServerBodies::buildVectorValuesJson({}), QString("[]"));
}

void TestServerBodies::vectorBody()
{
    XYZST a;
    a.xValue = 1.234;
    a.yValue = -2;
    a.zValue = 3.999;
    a.sValue = 50000.126;
    XYZST b;
    b.sValue = 7;
    QCOMPARE(ServerBodies::buildVectorValuesJson({a, b}),
             QString("[{\"sValue\":50000.13,\"xValue\":1.23,\"yValue\":-2.00,\"zValue\":4.00}, "
                     "{\"sValue\":7.00,\"xValue\":0.00,\"yValue\":0.00,\"zValue\":0.00}]"));
    const QString body = ServerBodies::vectorBody("G", "MZ", 5, {b}, 111, 9);
    QVERIFY(body.contains("\n           \"dataType\": \"VECTOR\",\n"));
    QVERIFY(
        body.contains("\n           \"vectors\": "
                      "[{\"sValue\":7.00,\"xValue\":0.00,\"yValue\":0.00,\"zValue\":0.00}],\n"));
    QVERIFY(body.contains("\"samplingRate\": 111,\n           \"intervalMs\": 9\n"));
}

void TestServerBodies::backlogRecords()
{
    QCOMPARE(ServerBodies::scalarRecord("MZ", 1000, {1, 2.346}, 20, 50),
             QString("{\"deviceType\": \"MZ\",\"time\": 1000,\"sensorData\": {\"dataType\": "
                     "\"SCALAR\",\"values\": [1.00, 2.35],\"samplingRate\": 20,\"intervalMs\": "
                     "50}}"));
    XYZST s;
    s.sValue = 1;
    const QString vector = ServerBodies::vectorRecord("MZ", 2000, {s}, 111, 9);
    const QJsonObject o = QJsonDocument::fromJson(vector.toUtf8()).object();
    QCOMPARE(o.value("time").toDouble(), 2000.0);
    QCOMPARE(o.value("sensorData").toObject().value("dataType").toString(), QString("VECTOR"));
    QCOMPARE(o.value("sensorData").toObject().value("vectors").toArray().size(), 1);
    QCOMPARE(o.value("sensorData").toObject().value("intervalMs").toInt(), 9);
}

void TestServerBodies::valuesAreNeverSubstitutedAgain()
{
    // A GUID read from a damaged server.ini may hold anything.
    const QString body = ServerBodies::heartbeatBody("%2\"%1\\");
    QCOMPARE(body.trimmed(), QString("{\"deviceGuid\": \"%2\\\"%1\\\\\"}"));
    QCOMPARE(QJsonDocument::fromJson(body.toUtf8()).object().value("deviceGuid").toString(),
             QString("%2\"%1\\"));
    const QString scalar = ServerBodies::scalarBody("%4%5", "%6", 1, {}, 1, 1000);
    const QJsonObject o = QJsonDocument::fromJson(scalar.toUtf8()).object();
    QCOMPARE(o.value("deviceId").toString(), QString("%4%5"));
    QCOMPARE(o.value("deviceType").toString(), QString("%6"));
    QCOMPARE(o.value("sensorData").toObject().value("values").toArray().size(), 0);
}

void TestServerBodies::usableGuid_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("usable");
    QTest::newRow("8-4-4-4-12") << "5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30" << true;
    QTest::newRow("8-4-4-4-12, upper case") << "5F0C2E9A-71B4-4D3E-9A6C-2B8E4F1D7C30" << true;
    QTest::newRow("32 hex digits") << "5f0c2e9a71b44d3e9a6c2b8e4f1d7c30" << true;
    QTest::newRow("in braces") << "{5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30}" << true;
    QTest::newRow("base64url") << "Xw8uml-0TT6abCuOTx1_MA" << true;
    QTest::newRow("eight characters") << "0123abcd" << true;
    QTest::newRow("64 characters") << QString(64, 'f') << true;
    QTest::newRow("@ inside") << "dev@5f0c2e9a71b4" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("abc") << "abc" << false;
    QTest::newRow("success") << "success" << false;
    QTest::newRow("65 characters") << QString(65, 'f') << false;
    QTest::newRow("an HTML page") << "<!DOCTYPE html><html><body>OK</body></html>" << false;
    QTest::newRow("a blank") << "5f0c2e9a 71b4-4d3e-9a6c-2b8e4f1d7c30" << false;
    QTest::newRow("double quote") << "5f0c2e9a\"71b44d3e" << false;
    QTest::newRow("single quote") << "5f0c2e9a'71b44d3e" << false;
    QTest::newRow("backslash") << "5f0c2e9a\\71b44d3e" << false;
    QTest::newRow("trailing line feed") << "5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30\n" << false;
    QTest::newRow("tab") << "5f0c2e9a\t71b44d3e" << false;
    QTest::newRow("NUL") << QString::fromLatin1("5f0c2e9a\0"
                                                "71b44d3e",
                                                17)
                         << false;
    QTest::newRow("DEL") << "5f0c2e9a\x7f"
                            "71b44d3e"
                         << false;
    QTest::newRow("not ASCII") << QString::fromUtf8("5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c3é")
                               << false;
    // The settings file reads a text that starts with "@" as a serialised value.
    QTest::newRow("@ first") << "@5f0c2e9a71b44d3e" << false;
}

void TestServerBodies::usableGuid()
{
    QFETCH(QString, text);
    QFETCH(bool, usable);
    QCOMPARE(ServerBodies::isUsableGuid(text), usable);
}

void TestServerBodies::usableGuidSurvivesTheSettingsFile()
{
    // Every printable character first, inside and last: whatever the rule lets
    // through comes back from "server.ini" unchanged.
    int usable = 0;
    for (char c = 0x21; c < 0x7f; ++c) {
        const QString ch(QLatin1Char{c});
        for (const QString& guid : {ch + "5f0c2e9a", "5f0c" + ch + "2e9a", "5f0c2e9a" + ch}) {
            if (!ServerBodies::isUsableGuid(guid))
                continue;
            ++usable;
            QVERIFY(Settings::writeValue("server.ini", "Server", "GUID", guid));
            QCOMPARE(Settings::readString("server.ini", "Server", "GUID", QString()), guid);
        }
    }
    QVERIFY(usable > 200);
}

MAG_TEST_MAIN_CORE(TestServerBodies)
#include "tst_serverbodies.moc"
