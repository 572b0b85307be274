#pragma once
// Types and tables that travel between the threads of the program.

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVector>

// Data rate of one batch of samples; the value is the rate in Hz.
enum FrequencyType
{
    Freq1Hz = 1,
    Freq20Hz = 20,
    Freq42Hz = 42,
    Freq111Hz = 111,
    Freq500Hz = 500,
    Freq1000Hz = 1000,
};

// Request selector shared by the scheduler, the transport and the decoder.
enum ModbusAddr
{
    Addr40118Restart = 0,   // write 1 to the work-state register
    Addr40118ReTrack = 1,   // write 3 to the work-state register
    Addr40118Status = 2,    // read the status word
    Addr40100Params = 3,    // read the parameter block (124 registers)
    Addr40230 = 4,          // read 3 registers from 40230
    AddrRaw30000 = 5,       // raw 0xAB frame, field 0x7530
    AddrStreamData = 6,     // raw 0xAB frame, field 0x7D00; every stream frame is handed on as this
    AddrStartStream = 7,    // start the scalar stream
    AddrStopStream = 8,     // stop the scalar stream
    AddrCustom = 9,         // binary frame built by a page, written unchanged
    Addr40000Identity = 10, // read the identity block (100 registers)
    AddrVectorFid = 11,     // vector FID frames
    AddrFid = 12,           // FID frames
};

struct DataParam
{
    int lowPass = 0;         // Hz, 0 = off
    int highPass = 0;        // Hz, 0 = off
    double dataRate = 0.001; // time step between samples, s
    int chartTime = 10;      // s
    int fftTime = 10;        // s
};

struct RefreshData
{
    double vcsel = 0;
    double vcselDefault = 0;
    double vaporCell = 0;
    double pd = 0;
    double pde = 0;
    double vcselSet = 0;
    double vcselDefaultSet = 0;
    double vaporCellSet = 0;
    quint64 word40100 = 0; // quint32 value in an 8-byte slot
    quint64 spare = 0;
};

struct RefreshDataEx
{
    quint32 fsStart = 0; // mHz
    quint32 fsEnd = 0;
    quint32 fsStep = 0;
};

struct FIDVectorNum
{
    double x = 0;
    double y = 0;
    double z = 0;
    double s = 0;
    double f[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0}; // the nine Larmor frequencies, Hz
    double unused[3] = {0, 0, 0};
    bool valid = false;
};

struct FIDVectorData
{
    QVector<double> x, y, z, s;
    QVector<double> unused;
    QVector<double> xFreq, yFreq, zFreq, sFreq;
    QVector<double> xAsd, yAsd, zAsd, sAsd;
    bool hasSpectra = false;
};

struct XYZST
{
    QString time; // "HH:mm:ss.zzz", UTC
    double xValue = 0;
    double yValue = 0;
    double zValue = 0;
    double sValue = 0;
    double f[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    double spare[3] = {0, 0, 0};
};

// Mode code -> device type text reported to the server. The watchdog's RateMap
// is built from the rate table (device/SamplingRates.h).
extern const QMap<int, QString> ModeNameMap;

Q_DECLARE_METATYPE(FrequencyType)
Q_DECLARE_METATYPE(ModbusAddr)
Q_DECLARE_METATYPE(DataParam)
Q_DECLARE_METATYPE(RefreshData)
Q_DECLARE_METATYPE(RefreshDataEx)
Q_DECLARE_METATYPE(FIDVectorNum)
Q_DECLARE_METATYPE(FIDVectorData)
Q_DECLARE_METATYPE(XYZST)

// Registrations made by main before the application object exists.
void registerMainMetaTypes();
// Registrations made by the hub before it creates any worker.
void registerHubMetaTypes();
