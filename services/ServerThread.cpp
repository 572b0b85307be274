#include "services/ServerThread.h"

#include "app/RegularFile.h"
#include "app/RuntimePaths.h"
#include "app/Settings.h"
#include "services/ServerBodies.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator64>
#include <QThread>
#include <QTimer>

#include <algorithm>

#ifndef MAG_DEFAULT_SERVER_URL
#define MAG_DEFAULT_SERVER_URL "http://127.0.0.1:18080/monitor-server"
#endif

namespace {
const QString BuiltInAddress = QStringLiteral(MAG_DEFAULT_SERVER_URL);
const QString InvalidGuidMessage = QString::fromUtf8("设备GUID无效");

ServerThread::Timing& defaultTimingRef()
{
    static ServerThread::Timing timing;
    return timing;
}
} // namespace

ServerThread::ServerThread() : ServerThread(defaultTiming()) {}

ServerThread::Timing ServerThread::defaultTiming()
{
    return defaultTimingRef();
}

void ServerThread::setDefaultTiming(const Timing& timing)
{
    defaultTimingRef() = timing;
}

ServerThread::ServerThread(const Timing& timing)
    : m_timing(timing),
      m_postFailures(FaultSpell::untilSuccess(
          [](qint64 faults) {
              return QStringLiteral("data posts accepted again after %1 failures").arg(faults);
          },
          FaultSpell::EndLine(), FaultSpell::debugOutput)),
      m_keptOffline(FaultSpell::untilSuccess(
          [](qint64 kept) {
              return kept > 1 ? QStringLiteral("no guid save: %1 batches kept").arg(kept)
                              : QString();
          },
          FaultSpell::EndLine(), FaultSpell::debugOutput))
{
    m_backlog.setFolder(RuntimePaths::logsDir());
    m_thread.start(this);
}

ServerThread::~ServerThread()
{
    finish();
}

QString ServerThread::baseAddress()
{
    QString address = qEnvironmentVariable("MAG_SERVER_URL").trimmed();
    if (address.isEmpty())
        address = BuiltInAddress;
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

void ServerThread::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    QThread* const own = m_thread.thread();
    if (own && own->isRunning() && QThread::currentThread() != own)
        QMetaObject::invokeMethod(
            this, [this] { teardown(); }, Qt::BlockingQueuedConnection);
    else
        teardown();
    m_thread.stop();
}

void ServerThread::teardown()
{
    // Posts still travelling go back to the backlog through their failure step,
    // oldest batch first.
    QList<QNetworkReply*> replies = m_pending.keys();
    std::stable_sort(replies.begin(), replies.end(), [this](QNetworkReply* a, QNetworkReply* b) {
        return m_pending.value(a).time < m_pending.value(b).time;
    });
    for (QNetworkReply* reply : replies) {
        if (m_pending.contains(reply) && reply->isRunning())
            reply->abort(); // finishedSlot runs from here
        if (m_pending.contains(reply)) {
            const PendingRequest pending = m_pending.take(reply);
            failureStep(pending);
            reply->deleteLater();
        }
    }
    m_backlog.saveBacklogRecord();
    delete m_timer;
    m_timer = nullptr;
    delete m_manager;
    m_manager = nullptr;
}

void ServerThread::setState(int state)
{
    // Once the server has called the GUID invalid, the client stays disabled.
    if (m_state.load() == Disabled)
        return;
    m_state.store(state);
}

void ServerThread::disable()
{
    m_state.store(Disabled);
    // Several replies may carry the message: the timer goes once.
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
}

void ServerThread::slot_init()
{
    m_deviceType = ModeNameMap.value(0);
    if (!ModeNameMap.contains(0)) {
        m_deviceType = QStringLiteral("MZ");
        qDebug() << "20250819 类型出错";
    }
    const QString logs = RuntimePaths::logsDir();
    if (!QDir(logs).exists() && QDir().mkpath(logs))
        qDebug() << "成功创建 logs 文件夹";
    m_settingsPath = logs + QStringLiteral("/server.ini");
    m_backlog.setFolder(logs);
    m_backlog.setDeviceType(m_deviceType);

    m_manager = new QNetworkAccessManager();
    connect(m_manager, &QNetworkAccessManager::finished, this, &ServerThread::finishedSlot);
    qDebug().noquote() << "server:" << baseAddress();

    // Numbered before the GUID is judged: a disabled client still keeps batches.
    m_backlog.findBacklogFileNumber(true);

    m_guid = Settings::readString(m_settingsPath, QStringLiteral("Server"), QStringLiteral("GUID"),
                                  QString());
    if (ServerBodies::isUsableGuid(m_guid)) {
        setState(Unconfirmed);
        sendHeartbeat();
    } else if (m_guid.isEmpty()) {
        registerDevice();
    } else {
        qDebug() << "stored GUID unusable, server client idle:" << m_guid.left(40);
        disable();
        return;
    }

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &ServerThread::handleTimeout);
    m_timer->start(m_timing.tickMs);
    m_nextUploadTime = QDateTime::currentDateTimeUtc();
    emit sig_beginGPS();
}

void ServerThread::handleTimeout()
{
    switch (m_state.load()) {
    case Unregistered:
        registerDevice();
        break;
    case Unconfirmed:
        sendHeartbeat();
        break;
    case Online:
        sendHeartbeat();
        reportStatus();
        break;
    default:
        return;
    }
    // Whatever the state, nothing stays in memory longer than a tick.
    m_backlog.saveBacklogRecord();

    if (m_state.load() != Online)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (now < m_nextUploadTime)
        return;
    qDebug() << "sendUnsetFile -----";
    // Nothing sent: try again within minutes, not after the pause of a travelling upload.
    m_nextUploadTime =
        now.addMSecs(sendUnsetFile() ? m_timing.inFlightPauseMs : m_timing.idlePauseMs);
}

void ServerThread::registerDevice()
{
    PendingRequest pending;
    pending.kind = KindRegister;
    post(QStringLiteral("/api/v1/device/register"), ServerBodies::registerBody(m_deviceType),
         pending);
}

void ServerThread::sendHeartbeat()
{
    PendingRequest pending;
    pending.kind = KindHeartbeat;
    post(QStringLiteral("/api/v1/device/heartbeat"), ServerBodies::heartbeatBody(m_guid), pending);
}

void ServerThread::reportStatus()
{
    if (m_state.load() != Online || !(qAbs(m_latitude) > 1e-12))
        return;
    const QString body = ServerBodies::statusBody(m_guid, m_latitude, m_longitude, m_altitude);
    qDebug().noquote() << "send GPS:" << body;
    PendingRequest pending;
    pending.kind = KindStatus;
    post(QStringLiteral("/api/v1/device/status/report"), body, pending);
}

void ServerThread::post(const QString& path, const QString& body, const PendingRequest& pending)
{
    if (!m_manager) {
        failureStep(pending);
        return;
    }
    QNetworkRequest request(QUrl(baseAddress() + path));
    request.setRawHeader("Content-Type", "application/json");
    request.setTransferTimeout(m_timing.transferTimeoutMs);
    QNetworkReply* reply = m_manager->post(request, body.toUtf8());
    m_pending.insert(reply, pending);
}

void ServerThread::slot_SendServerScalarData(qint64 timestamp, QVector<double> save_data,
                                             int data_frequency, int intervalMs)
{
    PendingRequest pending;
    pending.kind = KindScalar;
    pending.time = timestamp;
    pending.scalarValues = save_data;
    pending.rate = data_frequency;
    pending.interval = intervalMs;
    if (m_state.load() == Online) {
        m_keptOffline.success();
        post(QStringLiteral("/api/v1/sensor/data"),
             ServerBodies::scalarBody(m_guid, m_deviceType, timestamp, save_data, data_frequency,
                                      intervalMs),
             pending);
        return;
    }
    m_keptOffline.fault(QStringLiteral("no guid save"));
    keepBatch(pending);
}

void ServerThread::slot_SendServerVectorData(qint64 timestamp, QVector<XYZST> save_data,
                                             int data_frequency, int intervalMs)
{
    PendingRequest pending;
    pending.kind = KindVector;
    pending.time = timestamp;
    pending.vectorValues = save_data;
    pending.rate = data_frequency;
    pending.interval = intervalMs;
    if (m_state.load() == Online) {
        post(QStringLiteral("/api/v1/sensor/data"),
             ServerBodies::vectorBody(m_guid, m_deviceType, timestamp, save_data, data_frequency,
                                      intervalMs),
             pending);
        return;
    }
    m_keptOffline.fault(QStringLiteral("no guid save"));
    keepBatch(pending);
}

void ServerThread::keepBatch(const PendingRequest& pending)
{
    if (pending.kind == KindScalar)
        m_backlog.bufferScalarData(pending.time, pending.scalarValues, pending.rate,
                                   pending.interval);
    else
        m_backlog.bufferVectorData(pending.time, pending.vectorValues, pending.rate,
                                   pending.interval);
    // A disabled client has no tick to write the buffer out.
    if (m_state.load() == Disabled)
        m_backlog.saveBacklogRecord();
}

void ServerThread::slot_GPSData1(double latitude, double longitude, double altitude, int satellites)
{
    m_latitude = latitude;
    m_longitude = longitude;
    m_altitude = altitude;
    m_satellites = satellites;
}

void ServerThread::finishedSlot(QNetworkReply* reply)
{
    const auto it = m_pending.find(reply);
    if (it == m_pending.end())
        return;
    const PendingRequest pending = it.value();
    // Data posts come every second: during a spell of failures only its start is told.
    const bool quiet =
        (pending.kind == KindScalar || pending.kind == KindVector) && m_postFailures.active();

    if (reply->error() != QNetworkReply::NoError && !quiet)
        qDebug() << "请求失败，错误信息1:" << reply->errorString();

    bool good = false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        good = code == 200;
        if (!good && !quiet) {
            if (code == 404)
                qDebug() << "资源未找到";
            else if (code >= 500)
                qDebug() << "服务器错误";
            qDebug() << "HTTP 状态码:" << code;
        }
    } else if (!quiet) {
        qDebug() << "http状态码无效";
    }

    QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
        if (!quiet)
            qDebug() << "statrt BOM";
    }
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    const QString text = QString::fromUtf8(body);
    if (pending.kind == KindUpload)
        qDebug().noquote() << "请求成功，返回数据:" << text;
    else if (pending.kind == KindStatus)
        qDebug() << "revc GPS1:" << good;

    m_pending.remove(reply);
    parseReply(text, pending, good);
    ++m_repliesHandled;
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void ServerThread::parseReply(const QString& text, const PendingRequest& pending, bool good)
{
    const bool dataPost = pending.kind == KindScalar || pending.kind == KindVector;
    const bool quiet = dataPost && m_postFailures.active();
    // Not JSON (a refused connection, an HTML error page, an empty body, a time-out):
    // a failure like any other, so that no batch is lost.
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (doc.isNull()) {
        if (!quiet)
            qDebug() << "Invalid JSON!";
        failureStep(pending);
        return;
    }
    if (!doc.isObject()) {
        if (!quiet)
            qDebug() << "jsonDoc is not object!";
        failureStep(pending);
        return;
    }
    const QJsonObject object = doc.object();
    const QJsonValue message = object.value(QStringLiteral("message"));
    if (message.isString()) {
        // Every data post is answered with a message: only the unusual ones are told.
        const bool invalidGuid = message.toString() == InvalidGuidMessage;
        const bool accepted = good && object.value(QStringLiteral("success")).toBool();
        if (invalidGuid || !(dataPost && (accepted || quiet)))
            qDebug() << "message:" << message.toString();
        if (invalidGuid)
            disable();
    }
    if (!good || !object.contains(QStringLiteral("success")) ||
        !object.value(QStringLiteral("success")).isBool()) {
        failureStep(pending);
        return;
    }
    const bool success = object.value(QStringLiteral("success")).toBool();
    switch (pending.kind) {
    case KindRegister: {
        const QJsonValue data = object.value(QStringLiteral("data"));
        if (!success || !data.isString())
            break;
        const QString guid = data.toString();
        if (!ServerBodies::isUsableGuid(guid)) {
            qDebug() << "registration: not a usable GUID, not stored:" << guid.left(40);
            break;
        }
        if (m_state.load() == Disabled)
            break;
        m_guid = guid;
        Settings::writeValue(m_settingsPath, QStringLiteral("Server"), QStringLiteral("GUID"),
                             m_guid);
        setState(Online);
        break;
    }
    case KindScalar:
    case KindVector:
        if (!success) {
            failureStep(pending);
        } else {
            m_postFailures.success();
        }
        break;
    case KindHeartbeat:
        setState(success ? Online : Unconfirmed);
        break;
    case KindStatus:
        if (success) {
            m_latitude = 0;
            m_longitude = 0;
            m_altitude = 0;
            m_satellites = 0;
        }
        qDebug() << "revc GPS2:" << success;
        break;
    case KindUpload:
        if (!success) {
            failureStep(pending);
            break;
        }
        qDebug() << "send delete";
        if (pending.file)
            pending.file->close();
        m_backlog.clearUploadInFlight();
        m_backlog.deleteUploaded(pending.filePath);
        m_nextUploadTime = QDateTime::currentDateTimeUtc().addMSecs(m_timing.acceptedPauseMs);
        break;
    default:
        break;
    }
}

void ServerThread::failureStep(const PendingRequest& pending)
{
    switch (pending.kind) {
    case KindScalar:
    case KindVector:
        m_postFailures.fault(QStringLiteral("un success save"));
        keepBatch(pending);
        break;
    case KindHeartbeat:
        setState(Unconfirmed);
        break;
    case KindStatus:
        qDebug() << "revc GPS2:" << false; // the fix stays for the next tick
        break;
    case KindUpload:
        qDebug() << "send fail";
        if (pending.file)
            pending.file->close();
        m_backlog.clearUploadInFlight();
        m_nextUploadTime = scheduleNextUploadRandom();
        break;
    default: // a registration is repeated at the next tick
        break;
    }
}

QDateTime ServerThread::scheduleNextUploadRandom()
{
    const qint64 randomMs = m_timing.refusedRandomMs > 0
                                ? QRandomGenerator64::global()->bounded(m_timing.refusedRandomMs)
                                : 0;
    const qint64 ms = m_timing.refusedPauseMs + randomMs;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime next = now.addMSecs(ms);
    qDebug() << "随机秒数：" << ms / 1000;
    qDebug() << "当前时间：" << now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    qDebug() << "未来时间：" << next.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return next;
}

bool ServerThread::sendUnsetFile()
{
    const QString path = m_backlog.listBacklogFiles();
    if (path.isEmpty())
        return false;
    return uploadFile(path, m_guid);
}

bool ServerThread::uploadFile(const QString& path, const QString& deviceId)
{
    if (!m_manager)
        return false;
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"file\"; filename=\"%1\"")
                           .arg(QFileInfo(path).fileName()));
    filePart.setHeader(QNetworkRequest::ContentTypeHeader,
                       QStringLiteral("application/octet-stream"));
    auto* file = new QFile;
    // Through the plain-file guard: a FIFO put in the file's place would block
    // this thread in open() for good.
    const RegularFile::Status opened = RegularFile::open(*file, path, QIODevice::ReadOnly);
    if (opened != RegularFile::Status::Ok) {
        qDebug() << "无法打开文件:" << path;
        if (opened == RegularFile::Status::NotRegular)
            qDebug().noquote() << "backlog: not a plain file, skipped and left alone:" << path;
        delete file;
        delete multiPart;
        return false;
    }
    filePart.setBodyDevice(file);
    file->setParent(multiPart);
    multiPart->append(filePart);

    QHttpPart idPart;
    idPart.setHeader(QNetworkRequest::ContentDispositionHeader,
                     QStringLiteral("form-data; name=\"deviceId\""));
    idPart.setBody(deviceId.toUtf8());
    multiPart->append(idPart);

    QNetworkRequest request(QUrl(baseAddress() + QStringLiteral("/api/v1/file/upload")));
    request.setTransferTimeout(m_timing.transferTimeoutMs);
    qDebug() << "send file:" << multiPart;
    qDebug() << "send file Path:" << path;
    QNetworkReply* reply = m_manager->post(request, multiPart);
    multiPart->setParent(reply);

    PendingRequest pending;
    pending.kind = KindUpload;
    pending.filePath = path;
    pending.file = file;
    m_backlog.setUploadInFlight(path);
    m_pending.insert(reply, pending);
    return true;
}
