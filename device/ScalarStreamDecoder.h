#pragma once
// Scalar stream decoding: whole stream frames (requests 5 to 8) or replayed
// samples in, batches of field values in nT out, on one of three roads
// (one-second mean, notch-filtered hand-out, direct), plus the spectrum step.
//
// Threads: lives in the decoder's thread (a child of ModbusDataHandler); every
// method is called there and the hand-out timer runs there. Not thread-safe.
// The spectrum step runs beside it in a SpectrumWorker of its own: every batch
// goes out at once (sig_updateForm, and sig_updateFormEx with empty spectrum
// vectors); a spectrum follows as sig_updateFormEx with an empty batch, taken
// over the newest window whenever the previous one is done, and only while a page
// shows the spectra (setSpectrumShown).
//
// Rates: the stream's own rate (samples per second that arrive) and the output
// rate (what the user chose) are kept apart; every batch handed on carries the
// rate its values really have, which differs from the stream rate when the
// decoder averages (e.g. 20 Hz shown from the 1000 Hz framing).
//
// User filters: the low-pass and high-pass of DataParam run zero-phase over the
// stream of batches each road hands on (ZeroPhaseStreamFilter), not over each batch
// alone: batches leave the same size and rate as they came, later by the filter's
// lookahead, the first ones held back until it is full. A change of cut-off, rate or
// road, a new framing and reboot() start the filter afresh. With both cut-offs 0 every
// batch leaves at once, unfiltered.
//
// sig_measuredField carries each batch of a rate the pages show as it is before the
// user filters (the notch chain, when on, has run): the watchdog judges the field,
// not a high-passed copy of it. It goes out at once, never held back.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "device/Instrument.h"
#include "device/SamplingRates.h"
#include "device/ScalarFrameAssembler.h"
#include "dsp/FilterBank.h"
#include "dsp/ZeroPhaseStreamFilter.h"

#include <QObject>
#include <QTimer>
#include <QVector>
#include <deque>
#include <memory>

class SpectrumWorker;

class ScalarStreamDecoder : public QObject
{
    Q_OBJECT
public:
    static constexpr int OneSecondSamples = SamplingRates::DefaultRate; // of the 1000 Hz stream
    // The notch chain runs over a window and keeps its middle second: the margins
    // on both sides outlast the settling of the 50 Hz notch (Q 50, about 320
    // samples to fall by 1/e), so no edge of a window reaches the values kept.
    static constexpr int NotchWindow = 3000; // samples the notch chain runs over
    static constexpr int NotchSkip = 1000;   // settling samples cut at the start
    static constexpr int NotchStep = 1000;   // samples kept and consumed per run
    static constexpr double NotchFs = 1000.0;
    static constexpr int HandoutIntervalMs = 40;

    explicit ScalarStreamDecoder(QObject* parent = nullptr);
    ~ScalarStreamDecoder() override;

    // mHz -> nT.
    static double toNanoTesla(double milliHertz)
    {
        return milliHertz * 0.001 / Instrument::GyromagneticRatio;
    }

    // A reply to requests 5 to 8 (always handed on as request 6).
    void handleStreamFrame(const QByteArray& frame);
    // Replayed samples in mHz, treated like decoded stream samples.
    void handleMockData(const QVector<double>& samples);
    // Paced output: pieces of a twentieth of a second, HandoutIntervalMs apart.
    // The values are in mHz at the current output rate (the FID road uses this too).
    void handoutData(const QVector<double>& values);

    void setOneHz(bool on) { m_oneHz = on; }
    // Switching the filter off first hands out what is still waiting, so that no
    // filtered piece follows the unfiltered batches.
    void setFilterEnabled(bool on);
    // A change of cut-off takes effect with the next batch, starting the filter afresh.
    void setDataParam(const DataParam& param) { m_dataParam = param; }
    // `rate` in Hz; bChange false means the 1000 Hz framing whatever the rate.
    // Another rate or framing first hands out what is still waiting, then restarts
    // the user filters and returns true; the same again changes nothing.
    bool syncDataByteCount(int rate, bool bChange);
    // Forgets everything from before a reset: the spectrum and filter buffers, the
    // samples the user filters hold, the last batch, the pieces still waiting and a
    // kept frame start; a spectrum still being computed is not handed on.
    void reboot();
    // The filter settings changed: the spectrum's window (the one the sensitivity
    // page shows above it) starts afresh, and a spectrum still being computed over
    // the old window is not handed on.
    void restartSpectrumWindow();
    // A new stream begins (request 7): the samples of the last one are not
    // continued by it, so the filters start afresh (the notch chain's window, the
    // samples the user filters hold, a kept frame start). Pieces already filtered
    // still go out.
    void streamStarting();

    const DataParam& dataParam() const { return m_dataParam; }
    int frameLength() const { return m_assembler.frameLength(); }
    const QVector<double>& spectrumBuffer() const { return m_spectrumBuffer; }
    const QVector<double>& lastForm() const { return m_lastForm; }
    int filterBufferSize() const { return m_filterBuffer.size(); }
    int pendingHandoutPieces() const { return int(m_pending.size()); }
    // Samples the user filters hold back (their lookahead once it is full).
    int userFilterHeldSamples() const { return m_userFilter.heldSamples(); }
    // Tests shorten the pacing.
    void setHandoutInterval(int ms) { m_handoutTimer.setInterval(ms); }

    // Spectra are computed only while a page shows them: nothing else uses them,
    // and the step is most of this thread's work. Shown again, the spectrum of the
    // newest window follows at once, if its road would have made one.
    void setSpectrumShown(bool shown);

    // True while a spectrum is being computed.
    bool spectrumRunning() const { return m_spectrumRunning; }

signals:
    void sig_updateForm(QVector<double> datas, FrequencyType frequencyType);
    void sig_measuredField(QVector<double> datas, FrequencyType frequencyType);
    void sig_updateFormEx(QVector<double> datas, QVector<double> f_datas,
                          QVector<double> fft_datas);
    void sig_updateProgressEx(int iStatus);
    void sig_sendModbusData(ModbusAddr modbusAddr);

private:
    // Where a batch comes from: the user filters run over one road's stream at a time.
    enum class Road
    {
        Direct,
        Notch,
        Fid
    };

    struct Piece
    {
        QVector<double> values;
        int rate;
        Road road;
    };

    bool assembleFrame(QByteArray& frame);
    QVector<double> samplesOf(const QByteArray& frame) const;
    // Returns true when the batch took the direct road (the caller runs the spectrum).
    bool decodeScalarData(const QVector<double>& samples);
    void oneSecondRoad(const QVector<double>& samples);
    void filteredRoad(const QVector<double>& samples);
    void directRoad(const QVector<double>& samples);
    void spectrumAfterDirectBatch();
    // Asks for the spectrum of the newest window; it starts when the worker is free.
    void requestSpectrum(int rate);
    void startSpectrum();
    void spectrumReady(quint64 tag, const QVector<double>& freqs, const QVector<double>& amps);

    int averageBlock() const;
    int outputRateFor(int block) const { return m_streamRate / block; }
    QVector<double> notchChain(const QVector<double>& samples) const;
    QVector<double> userFilters(const QVector<double>& batch, int rate, Road road);
    void emitBatch(QVector<double> batch, int rate, Road road);

    void handout(const QVector<double>& values, int rate, Road road);
    void emitNextPiece();
    // Emits every waiting piece at once.
    void handOutPending();

    int m_samplingRate = SamplingRates::DefaultRate; // output rate chosen by the user
    int m_streamRate = SamplingRates::DefaultRate;   // samples per second that arrive
    int m_directRate = SamplingRates::DefaultRate;   // rate of the last direct-road batch
    QVector<double> m_spectrumBuffer;                // mHz
    QVector<double> m_lastForm;                      // nT
    QVector<double> m_filterBuffer;                  // mHz
    bool m_oneHz = false;
    bool m_filterEnabled = false;
    DataParam m_dataParam;
    int m_mainsNotchFrequency = 25;
    QVector<int> m_notchFrequencies{50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};

    ScalarFrameAssembler m_assembler;
    FilterBank m_filters;
    ZeroPhaseStreamFilter m_userFilter;
    Road m_userFilterRoad = Road::Direct;
    FaultSpell m_frameFaults{QStringLiteral("Stream frame faults")};
    std::deque<Piece> m_pending;
    QTimer m_handoutTimer;

    std::unique_ptr<SpectrumWorker> m_spectrumWorker;
    bool m_spectrumRunning = false;
    bool m_spectrumWanted = false;
    bool m_spectrumShown = false;
    int m_spectrumRate = 0;
    quint64 m_spectrumGeneration = 0; // results of an older generation are dropped
};
