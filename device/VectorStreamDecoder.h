#pragma once
// Decoding of the "FID" mode frames: vector frames (request 11, 288 bytes) become
// four vector records each, with time windows and spectra of x, y, z and s; FID
// frames (request 12, 80 bytes) become a scalar stream in mHz that leaves through
// sig_handoutData, the hand-out of the filtered scalar road.
//
// A record with a frequency that is not finite (value2 = 0) is invalid: its
// non-finite values go out as 0 in sig_saveVectorXYZS and the record stays out of
// the windows, the spectra and the batches; non-finite FID frequencies are dropped.
//
// Threads: lives in the decoder's thread (a child of ModbusDataHandler); every
// method is called there. Not thread-safe.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "dsp/FilterBank.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QVector>
#include <functional>

class SharedState;

class VectorStreamDecoder : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // current time, UTC

    static constexpr int FidHandout = 1000;    // FID frequencies handed out at a time
    static constexpr int NotchWindow = 1600;   // FID frequencies the notch runs over
    static constexpr int NotchSkip = 300;      // settling values cut at the start
    static constexpr double FidNotchF0 = 0.54; // Hz
    static constexpr double FidNotchBandwidth = 0.2;
    static constexpr double FidNotchFs = 1000.0;
    static constexpr int MaxSpanSeconds = 60;

    // The program uses SharedState::instance() and the system clock.
    explicit VectorStreamDecoder(QObject* parent = nullptr, SharedState* state = nullptr,
                                 Clock clock = Clock());

    // Request 11: one vector frame.
    void decodeVectorB(const QByteArray& frame);
    // Request 12: one FID frame, or a piece of one.
    void processFidFrame(const QByteArray& frame);

    void setFilterEnabled(bool on) { m_filterEnabled = on; }
    void setDataParam(const DataParam& param) { m_dataParam = param; }
    // Forgets the records, windows and frequencies from before a reset.
    void reboot();

    int windowSize() const { return m_windows[3].size(); }
    int fidBufferSize() const { return m_fidBuffer.size(); }

signals:
    void sig_saveVectorXYZS(FIDVectorNum, QDateTime utcTime);
    void sig_updateVectorForm(FIDVectorData);
    void sig_updateForm(QVector<double> datas, FrequencyType frequencyType);
    void sig_handoutData(QVector<double> filtered_datas); // mHz, FID road
    void sig_saveCrashLog(QString text);                  // for the event log

private:
    bool checkFidFrame(QByteArray& frame);
    void decodeVectorData(const QVector<double>& freqs);
    void fillWindows(FIDVectorData& data);

    SharedState* m_state;
    Clock m_clock;
    DataParam m_dataParam;
    bool m_filterEnabled = false;
    FilterBank m_filters;

    // Vector road.
    QVector<double> m_pendingFrequencies;
    QVector<double> m_windows[4]; // x, y, z, s in nT
    qint64 m_recordCounter = 0;

    // FID road.
    QByteArray m_partialFrame;
    QVector<double> m_fidBuffer; // Hz
    qint64 m_fidCalls = 0;

    FaultSpell m_vectorFaults{QStringLiteral("Vector frame faults")};
    FaultSpell m_fidFaults{QStringLiteral("FID frame faults")};
    FaultSpell m_radicandFaults{QStringLiteral("Vector computation faults")};
};
