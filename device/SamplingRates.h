#pragma once
// The program's one table of data rates: every rate the instrument can be set to
// and every rate a batch of samples can carry (FrequencyType), with what follows
// from each: the value written to the rate register, the time step shown, the
// stream the instrument sends (rate, start/stop count, frame length), the
// watchdog's step and the controls that offer it. The bottom bar, the pages, the
// main window, the scheduler, the transport, the decoder and the watchdog read
// them here. Constants and pure functions; any thread.

#include <QByteArray>
#include <QMap>

namespace SamplingRates {

// A stream frame: AB 01, three header bytes, the samples, status, one byte, FF FF.
constexpr int FrameOverhead = 9;
constexpr int BytesPerSample = 4;
constexpr int FramesPerSecond = 20;

// Where a rate is offered or taken.
enum Use : unsigned
{
    DataRateMenu = 1, // the bottom bar's data-rate menu
    SettingsPage = 2, // the settings page's sampling-rate menu
    Recorded = 4,     // the save page gathers its batches for the recorder
};

struct Entry
{
    int rate;         // Hz, as the operator chooses it and as batches carry it
    int streamRate;   // samples per second the instrument sends; 0: it cannot be set to it
    int watchdogStep; // samples the watchdog steps by; 0: it has none for batches of it
    unsigned uses;

    constexpr bool settable() const { return streamRate > 0; }
    // Register 40086 names the rate the instrument streams at.
    constexpr quint16 written() const { return quint16(streamRate); }
    // The decoder averages the stream down to it (1 Hz: one mean a second).
    constexpr bool averaged() const { return rate < streamRate; }
    constexpr double step() const { return 1.0 / rate; } // seconds between the values shown
    constexpr int streamCount() const { return streamRate / 10; } // of the start/stop frames
    constexpr int frameLength() const
    {
        return streamRate * BytesPerSample / FramesPerSecond + FrameOverhead;
    }
    constexpr bool offeredBy(Use use) const { return (uses & use) != 0; }
};

inline constexpr Entry Table[] = {
    {1, 1000, 1, DataRateMenu | Recorded},
    {10, 10, 0, 0},
    {20, 20, 20, DataRateMenu | SettingsPage | Recorded},
    {42, 0, 41, 0},
    {111, 0, 111, 0}, // vector records
    {200, 200, 0, 0},
    {500, 500, 500, Recorded},
    {1000, 1000, 1000, DataRateMenu | SettingsPage | Recorded},
};

// The entry of a rate; nullptr for a rate outside the table.
constexpr const Entry* find(int rate)
{
    for (const Entry& e : Table) {
        if (e.rate == rate)
            return &e;
    }
    return nullptr;
}

// The entry of a rate the instrument can be set to; nullptr for any other.
constexpr const Entry* findSettable(int rate)
{
    const Entry* entry = find(rate);
    return entry && entry->settable() ? entry : nullptr;
}

constexpr int DefaultRate = 1000;
constexpr const Entry& defaultEntry()
{
    return *findSettable(DefaultRate);
}
constexpr int DefaultFrameLength = defaultEntry().frameLength();

// The entry whose stream the link uses: the rate's own when the instrument was
// told to stream at it (bChange true), else the 1000 Hz default.
constexpr const Entry& streamEntry(int rate, bool bChange)
{
    const Entry* entry = bChange ? findSettable(rate) : nullptr;
    return entry ? *entry : defaultEntry();
}

constexpr bool isRecorded(int rate)
{
    const Entry* entry = find(rate);
    return entry && entry->offeredBy(Recorded);
}

// The rate the program runs at, given the value of the instrument's rate register
// (40086, from its identity block): the program's own rate while the instrument
// streams what that rate needs (1 Hz is streamed at 1000), else the rate the
// register names; the program's rate when the register names no rate of the table.
int rateFromInstrument(int programRate, int rateRegister);

// Write of the rate register (function 16), CRC appended.
QByteArray rateFrame(const Entry& entry);
// Raw stream start (function 04) or stop (function 06) frame for a count.
QByteArray streamStartFrame(int count);
QByteArray streamStopFrame(int count);

} // namespace SamplingRates

// FrequencyType value (Hz) -> the watchdog's sample step, for the rates of the
// table that have one.
extern const QMap<int, int> RateMap;
