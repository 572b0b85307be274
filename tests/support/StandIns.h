#pragma once
// The monitoring-server and GPS stand-ins (tools/) as child processes of a test,
// used from its thread.

#include "tests/support/ChildProcess.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTemporaryDir>

class MonitorServer
{
public:
    static QString script()
    {
        return qEnvironmentVariable("MAG_TOOLS_DIR") + "/monitor-server/monitor-server.py";
    }

    // Starts the stand-in on free ports; the client is pointed at it through
    // $MAG_SERVER_URL.
    bool start(const QStringList& arguments = {})
    {
        if (!m_process.start(
                "python3", QStringList{script(), "--port", "0", "--control-port", "0"} + arguments))
            return false;
        const QList<QByteArray> words = m_process.waitForLine("LISTEN", 15000, 4);
        if (words.isEmpty())
            return false;
        m_base = QString::fromLatin1(words[1]);
        m_control = QString::fromLatin1(words[3]);
        qputenv("MAG_SERVER_URL", m_base.toLatin1());
        return true;
    }

    QString base() const { return m_base; }

    bool setMode(const QString& mode, const QString& only = QString(),
                 const QString& refuseFile = QString())
    {
        QString url = m_control + "/control/mode?set=" + mode;
        if (!only.isEmpty())
            url += "&only=" + only;
        if (!refuseFile.isEmpty())
            url += "&refuse_file=" + refuseFile;
        return request(url, true).value("success").toBool();
    }

    QJsonObject state() { return request(m_control + "/control/state", false); }

    // The one device that has sent anything (empty when none has).
    QJsonObject device()
    {
        const QJsonObject devices = state().value("devices").toObject();
        return devices.isEmpty() ? QJsonObject() : devices.begin().value().toObject();
    }

    QList<qint64> scalarTimes()
    {
        QList<qint64> out;
        for (const QJsonValue& v : device().value("scalarTimes").toArray())
            out << qint64(v.toDouble());
        return out;
    }

    int requests(const QString& endpoint)
    {
        return state().value("requests").toObject().value(endpoint).toInt();
    }

private:
    QJsonObject request(const QString& url, bool post)
    {
        QNetworkAccessManager manager;
        QNetworkRequest req{QUrl(url)};
        req.setTransferTimeout(10000);
        req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = post ? manager.post(req, QByteArray()) : manager.get(req);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return object;
    }

    ChildProcess m_process;
    QString m_base, m_control;
};

class GpsReceiver
{
public:
    GpsReceiver() : m_portDir(QDir::tempPath() + "/magports-XXXXXX")
    {
        qputenv("MAG_PORT_DIR", m_portDir.path().toLocal8Bit());
    }

    QString start(const QStringList& arguments)
    {
        m_process.setEnvironment("MAG_PORT_DIR", m_portDir.path());
        if (!m_process.start(qEnvironmentVariable("MAG_TOOLS_DIR") + "/gps-receiver/gps-receiver",
                             arguments))
            return QString();
        const QList<QByteArray> words = m_process.waitForLine("PORT", 10000, 3);
        return words.isEmpty() ? QString() : QString::fromLatin1(words[1]);
    }

private:
    QTemporaryDir m_portDir;
    ChildProcess m_process;
};
