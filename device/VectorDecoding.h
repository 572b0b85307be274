#pragma once
// Decoding of the instrument's frequency records ("FID" mode): pure functions of
// the bytes and frequencies, no signals, no logging. Any thread.
//
// A record is 8 bytes: a marker (E0, E1, E2, E4, E8 or EF), a signed 16-bit count
// value1 and an unsigned 40-bit count value2, both high byte first. Its Larmor
// frequency is (value1 - 10) * 2.62144e14 / value2 Hz. A vector frame holds 36
// records (four vector records of nine frequencies), an FID frame ten.

#include "app/SharedTypes.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace VectorDecoding {

constexpr int RecordBytes = 8;
constexpr int VectorFrameBytes = 288; // 36 records
constexpr int FidFrameBytes = 80;     // 10 records
constexpr int FrequenciesPerVector = 9;
constexpr int VectorsPerFrame = 4;
constexpr double CountScale = 2.62144e14; // 262144 * 1e9
constexpr double TinyRadicand = 1e-6;

bool isMarker(quint8 byte);
// The frame's first four markers: E8 EF E4 E2 at bytes 0, 8, 16, 24.
bool hasVectorStart(const char* bytes, int size);
// Every record of the `records` 8-byte records from `bytes` starts with a marker.
bool allMarkers(const char* bytes, int records);

struct FrequencyRecord
{
    qint16 value1 = 0;
    quint64 value2 = 0;
    double hz = 0.0; // not finite when value2 is 0
};
// The record at `bytes` (8 bytes).
FrequencyRecord frequencyRecord(const char* bytes);

// Validation of a vector frame: 288 bytes beginning E8 .. EF .. E4 .. E2. On
// failure `why` gets "wrong biaoTou" or "wrong size:<n> 288".
bool checkFrameHeader(const QByteArray& frame, QString* why = nullptr);

struct Division
{
    enum Failure
    {
        None,
        NegativeRadicand, // D <= 0
        TinyDenominator,  // 0 < D < 1e-6
        NotFinite,        // a frequency was not finite
    };
    double value = 0.0;
    double radicand = 0.0; // D
    Failure failure = None;
    bool ok() const { return failure == None; }
};
// D = (b^2 + c^2) / 2 - a^2; the result (b^2 - c^2) / (4 sqrt(D)), or 0 on failure.
Division safeDivide(double a, double b, double c);

struct VectorRecord
{
    FIDVectorNum num;      // non-finite values replaced by 0
    Division divisions[3]; // x, y, z
    bool finite = true;    // all nine frequencies were finite
};
// One vector record from nine frequencies f0 .. f8. It is valid when all three
// divisions succeed; a record with a non-finite frequency is never valid.
VectorRecord vectorRecord(const double* f);

// Four vector records from 36 frequencies; none when the count is not 36.
QVector<VectorRecord> decodeFidData(const QVector<double>& freqs);

} // namespace VectorDecoding
