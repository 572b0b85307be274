#include "VirtualInstrument.h"

#include "Crc16.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {
constexpr int SilenceMs = 30;        // ends a request of a function without fixed layout
constexpr int MaxCatchUpFrames = 10; // after a stall, skip rather than burst
constexpr quint16 StreamField = 0x7D00;
constexpr quint8 StrayByte = 0x00;
constexpr int LockLossNoticedMs = 10000; // values run away this long before the status falls

// The record whose value2 the corrupt-record switch zeroes: the unbiased frequency
// of the second vector record, or the sixth FID record.
int corruptRecordIndex(FidMode mode)
{
    return mode == FidMode::Vector ? 10 : 5;
}

quint16 word(const QByteArray& b, int at)
{
    return static_cast<quint16>((static_cast<quint8>(b[at]) << 8) | static_cast<quint8>(b[at + 1]));
}
} // namespace

VirtualInstrument::VirtualInstrument(const InstrumentOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_model(options.lockStepMs, options.seed),
      m_slave(m_model), m_stream(options.seed), m_fid(options.seed),
      m_faults(options.faults, options.seed)
{
    m_clock.start();
    connect(&m_model, &InstrumentModel::statusChanged, this, &VirtualInstrument::onStatusChanged);
    connect(&m_port, &PtyPort::bytesReceived, this, &VirtualInstrument::onBytes);
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setInterval(SilenceMs);
    connect(&m_silenceTimer, &QTimer::timeout, this, [this] {
        const auto frames = m_splitter.flush();
        for (const auto& frame : frames)
            onFrame(frame);
        const QByteArray noise = m_splitter.takeDropped();
        if (!noise.isEmpty())
            trace("RX", noise, "(not a frame, dropped)");
    });
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    m_frameTimer.setInterval(1000 / StreamGenerator::FramesPerSecond);
    connect(&m_frameTimer, &QTimer::timeout, this, &VirtualInstrument::sendDueFrames);

    m_stream.setLocked(false);
    if (options.startStatus < 1 || options.startStatus > 3)
        m_model.setStatus(options.startStatus);
}

bool VirtualInstrument::open(QString* error)
{
    if (!m_options.recordLog.isEmpty()) {
        m_recordLog.setFileName(m_options.recordLog);
        if (!m_recordLog.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            if (error)
                *error = QStringLiteral("cannot write %1: %2")
                             .arg(m_options.recordLog, m_recordLog.errorString());
            return false;
        }
    }
    return m_port.open(m_options.portDir, m_options.portName, error);
}

void VirtualInstrument::onBytes(const QByteArray& bytes)
{
    const auto frames = m_splitter.feed(bytes);
    const QByteArray noise = m_splitter.takeDropped();
    if (!noise.isEmpty())
        trace("RX", noise, "(not a frame, dropped)");
    for (const auto& frame : frames)
        onFrame(frame);
    if (m_splitter.isEmpty())
        m_silenceTimer.stop();
    else
        m_silenceTimer.start();
}

void VirtualInstrument::onFrame(const RequestSplitter::Frame& frame)
{
    if (m_silent) {
        trace("RX", frame.bytes, "(silent, no answer)");
        return;
    }
    trace("RX", frame.bytes);
    if (!m_talkedTo)
        onFirstRequest();
    if (frame.kind == RequestSplitter::Kind::Raw)
        onRaw(frame.bytes);
    else
        onModbus(frame.bytes);
}

void VirtualInstrument::onFirstRequest()
{
    m_talkedTo = true;
    // Switched on with the program: the power-up lock runs from here.
    if (m_options.startStatus >= 1 && m_options.startStatus <= 3)
        m_model.startLockSequence(m_options.startStatus);
    const FaultInjector::Settings& f = m_faults.settings();
    if (f.silentAfter >= 0.0) {
        QTimer::singleShot(static_cast<int>(f.silentAfter * 1000), this, [this] {
            m_silent = true;
            stopStream();
        });
    }
    if (f.closeAfter >= 0.0) {
        QTimer::singleShot(static_cast<int>(f.closeAfter * 1000), this, [this] {
            stopStream();
            m_port.close();
            emit lineClosed();
        });
    }
}

void VirtualInstrument::onModbus(const QByteArray& frame)
{
    const ModbusSlave::Request r = ModbusSlave::describe(frame);
    if (r.address != ModbusSlave::Address)
        return; // another device's request
    // The instrument talks on one line at a time: a request ends the stream.
    stopStream();
    QByteArray reply;
    if (r.registerCount > 0 && m_faults.exceptionFor(r.firstRegister, r.registerCount))
        reply = ModbusSlave::exceptionReply(r.function, ModbusException::DeviceFailure);
    else
        reply = m_slave.handle(frame);
    sendReply(reply);
}

void VirtualInstrument::onRaw(const QByteArray& frame)
{
    if (static_cast<quint8>(frame[1]) != ModbusSlave::Address)
        return; // another device's frame
    const quint8 function = static_cast<quint8>(frame[2]);
    const quint16 field = word(frame, 3);
    const quint16 count = word(frame, 5);
    if (function == 0x04 && field == StreamField && count >= 1 && count <= 100) {
        // The stream runs at the rate register's value as it stands now; the
        // count is only checked.
        startStream(m_model.samplingRate());
    } else if (function == 0x04) {
        // Any other read: one frame at the configured rate, if nothing streams.
        if (!m_streaming) {
            m_stream.start(m_model.samplingRate());
            m_fid.start(m_model.samplingRate());
            sendFrame();
        }
    } else if (function == 0x06) {
        if (m_streaming) {
            sendFrame(); // the last one
            stopStream();
        }
    }
}

void VirtualInstrument::onStatusChanged(int status)
{
    const bool locked = status == InstrumentModel::Locked || status == InstrumentModel::DebugMode;
    m_slipping = false; // a new status ends an unnoticed slip
    m_stream.setLocked(locked);
    const double after = m_faults.settings().loseLockAfter;
    if (status == InstrumentModel::Locked && after >= 0.0 && !m_lockLossArmed) {
        m_lockLossArmed = true;
        QTimer::singleShot(static_cast<int>(after * 1000), this, [this] {
            // The tracking slips first; the status shows it only once the
            // instrument has noticed.
            if (m_model.status() != InstrumentModel::Locked)
                return;
            m_slipping = true;
            m_stream.setLocked(false);
            QTimer::singleShot(LockLossNoticedMs, this, [this] {
                if (m_slipping)
                    m_model.loseLock();
            });
        });
    }
}

void VirtualInstrument::startStream(int rate)
{
    switch (m_options.fidMode) {
    case FidMode::Off:
        m_stream.start(rate);
        m_framePeriod = 1.0 / StreamGenerator::FramesPerSecond;
        break;
    case FidMode::Vector:
        m_fid.start(rate);
        m_framePeriod = FidGenerator::VectorRecordsPerFrame * FidGenerator::VectorSpacingS;
        break;
    case FidMode::Scalar:
        m_fid.start(rate);
        m_framePeriod = double(FidGenerator::FidRecordsPerFrame) / rate;
        break;
    }
    m_frameTimer.setInterval(std::max(5, static_cast<int>(m_framePeriod * 1000)));
    m_streaming = true;
    m_streamStart = now();
    m_framesSent = 0;
    sendDueFrames();
    m_frameTimer.start();
}

void VirtualInstrument::stopStream()
{
    m_streaming = false;
    m_frameTimer.stop();
}

void VirtualInstrument::sendDueFrames()
{
    if (!m_streaming)
        return;
    // Frames are due on the monotonic clock; a timer tick a little early or late
    // neither loses nor doubles one.
    const qint64 due =
        static_cast<qint64>(std::floor((now() - m_streamStart) / m_framePeriod + 0.1)) + 1;
    if (due - m_framesSent > MaxCatchUpFrames)
        m_framesSent = due - 1;
    while (m_framesSent < due) {
        sendFrame();
        ++m_framesSent;
    }
}

void VirtualInstrument::sendFrame()
{
    const FaultInjector::FrameFaults f = m_faults.nextFrame();
    m_frameTruths.clear();
    QByteArray frame = m_options.fidMode == FidMode::Off
                           ? m_stream.nextFrame(static_cast<quint8>(m_model.status()))
                           : nextFidFrame(f);
    if (f.drop) {
        trace("TX", frame, "(dropped)");
        return;
    }
    if (f.statusBefore) {
        // A status reply that lands among the frames, as a poll answered late would.
        QByteArray request = QByteArray::fromHex("01039CB60001");
        Crc16::append(request);
        send(m_slave.handle(request), "(status reply inside the stream)");
    }
    if (f.loseByte)
        frame.remove(frame.size() / 2, 1);
    if (f.truncate)
        frame.truncate(frame.size() / 2);
    const char* note = f.truncate && f.loseByte ? "(byte lost, truncated)"
                       : f.truncate             ? "(truncated)"
                       : f.loseByte             ? "(byte lost)"
                       : f.corruptRecord && m_options.fidMode != FidMode::Off ? "(record corrupted)"
                                                                              : nullptr;
    // Logged before the frame goes out, so that whoever has read a frame finds its
    // records in the log.
    if (m_options.fidMode != FidMode::Off) {
        const char* logNote = f.truncate ? "truncated" : f.loseByte ? "lost-byte" : nullptr;
        logRecords(m_frameTruths, f.corruptRecord ? corruptRecordIndex(m_options.fidMode) : -1,
                   logNote);
    }
    send(frame, note);
}

QByteArray VirtualInstrument::nextFidFrame(const FaultInjector::FrameFaults& faults)
{
    QByteArray frame = m_options.fidMode == FidMode::Vector ? m_fid.nextVectorFrame(m_frameTruths)
                                                            : m_fid.nextFidFrame(m_frameTruths);
    if (faults.corruptRecord)
        FidGenerator::zeroValue2(frame, corruptRecordIndex(m_options.fidMode));
    return frame;
}

// One line per record: its number, then x, y, z and s in nT (s only in FID scalar
// mode), then a note when the frame or the record was damaged on purpose.
void VirtualInstrument::logRecords(const QVector<FidGenerator::Truth>& truths, int corrupt,
                                   const char* note)
{
    if (!m_recordLog.isOpen())
        return;
    const bool vector = m_options.fidMode == FidMode::Vector;
    // The corrupted frequency belongs to this vector record, or is this FID record.
    const int corruptTruth = vector && corrupt >= 0 ? corrupt / 9 : corrupt;
    QByteArray text;
    for (int i = 0; i < truths.size(); ++i) {
        const FidGenerator::Truth& t = truths[i];
        QByteArray line = QByteArray::number(t.index);
        if (vector) {
            for (const double v : {t.x, t.y, t.z})
                line += ' ' + QByteArray::number(v, 'f', 6);
        }
        line += ' ' + QByteArray::number(t.s, 'f', 6);
        if (i == corruptTruth)
            line += " corrupt";
        if (note)
            line += QByteArray(" ") + note;
        text += line + '\n';
    }
    m_recordLog.write(text);
    m_recordLog.flush();
}

void VirtualInstrument::sendReply(QByteArray reply)
{
    bool stray = false, badCrc = false;
    m_faults.nextReply(stray, badCrc);
    if (badCrc)
        reply[reply.size() - 1] = static_cast<char>(reply[reply.size() - 1] ^ 0xFF);
    if (stray)
        reply.prepend(static_cast<char>(StrayByte));
    send(reply, stray && badCrc ? "(stray byte, bad CRC)"
                : stray         ? "(stray byte)"
                : badCrc        ? "(bad CRC)"
                                : nullptr);
}

void VirtualInstrument::send(const QByteArray& bytes, const char* note)
{
    trace("TX", bytes, m_port.hasClient() ? note : "(no program on the line)");
    m_port.write(bytes);
}

void VirtualInstrument::trace(const char* direction, const QByteArray& bytes,
                              const char* note) const
{
    if (!m_options.verbose)
        return;
    QByteArray line = QByteArray::number(now(), 'f', 3).rightJustified(10) + ' ' + direction + ' ' +
                      bytes.toHex(' ').toUpper();
    if (note)
        line += QByteArray(" ") + note;
    line += '\n';
    // One write per line: with a reader that falls behind, lines are lost (see main)
    // rather than the instrument stalling.
    [[maybe_unused]] const ssize_t n =
        ::write(STDERR_FILENO, line.constData(), static_cast<size_t>(line.size()));
}
