#pragma once
// The instrument: moves requests from the line to the Modbus slave and the
// stream commands, paces the data stream, and applies the fault switches.
// Main thread only.

#include "FaultInjector.h"
#include "FidGenerator.h"
#include "InstrumentModel.h"
#include "ModbusSlave.h"
#include "RequestSplitter.h"
#include "StreamGenerator.h"
#include "tools/common/PtyPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

// "FID" mode: the stream start sends vector frames (request 11's road) or FID
// frames (request 12's) in place of the scalar stream.
enum class FidMode
{
    Off,
    Vector,
    Scalar,
};

struct InstrumentOptions
{
    QString portDir, portName; // empty name: first free COM<n> from COM10
    int lockStepMs = 2000;
    int startStatus = 1; // 1-3: lock sequence at the first request; 0, 4 or 99: held
    quint64 seed = 1;
    bool verbose = false;
    FidMode fidMode = FidMode::Off;
    QString recordLog; // FID modes: what every record sent stands for, one line each
    FaultInjector::Settings faults;
};

class VirtualInstrument : public QObject
{
    Q_OBJECT
public:
    explicit VirtualInstrument(const InstrumentOptions& options, QObject* parent = nullptr);

    bool open(QString* error);
    QString portName() const { return m_port.name(); }
    QString devicePath() const { return m_port.devicePath(); }

signals:
    void lineClosed(); // --close-after: the line is gone, the program may end

private:
    void onBytes(const QByteArray& bytes);
    void onFrame(const RequestSplitter::Frame& frame);
    void onFirstRequest();
    void onModbus(const QByteArray& frame);
    void onRaw(const QByteArray& frame);
    void onStatusChanged(int status);
    void startStream(int rate);
    void stopStream();
    void sendDueFrames();
    void sendFrame();
    QByteArray nextFidFrame(const FaultInjector::FrameFaults& faults);
    void logRecords(const QVector<FidGenerator::Truth>& truths, int corrupt, const char* note);
    void sendReply(QByteArray reply);
    void send(const QByteArray& bytes, const char* note);
    void trace(const char* direction, const QByteArray& bytes, const char* note = nullptr) const;
    double now() const { return m_clock.nsecsElapsed() * 1e-9; }

    InstrumentOptions m_options;
    QElapsedTimer m_clock;
    InstrumentModel m_model;
    ModbusSlave m_slave;
    StreamGenerator m_stream;
    FidGenerator m_fid;
    QFile m_recordLog;
    FaultInjector m_faults;
    RequestSplitter m_splitter;
    PtyPort m_port;
    QTimer m_silenceTimer; // the gap that ends a frame of unknown length
    QTimer m_frameTimer;
    bool m_streaming = false;
    double m_streamStart = 0.0;
    double m_framePeriod = 1.0 / StreamGenerator::FramesPerSecond; // s
    QVector<FidGenerator::Truth> m_frameTruths; // records of the frame being sent
    qint64 m_framesSent = 0;
    bool m_talkedTo = false;
    bool m_silent = false;
    bool m_lockLossArmed = false;
    bool m_slipping = false; // out of lock, status still 4
};
