#include "app/SharedTypes.h"
#include "app/LogTexts.h"

const QMap<int, QString> ModeNameMap = {{0, "MZ"}, {1, "FID"}, {2, "FID"}};

const QString LogConnectSuccess = QStringLiteral(
    "Connect Com success. SetType: VCSEL = %1 , VCSEL Default = %2 , VaporCell = %3.");
const QString LogBatteryState = QStringLiteral("battery State:");
const QString LogBatteryStateEx = QStringLiteral(
    "battery State: %1 . ReadType: VCSEL = %2 , VCSEL Default = %3 , VaporCell = %4 , PD = %5 , "
    "PDE = %6.");
const QString LogNegativeRadicand = QString::fromUtf8("分母中根号下出现负数:");

void registerMainMetaTypes()
{
    qRegisterMetaType<FrequencyType>("FrequencyType");
    qRegisterMetaType<QVector<FIDVectorNum>>("QVector<FIDVectorNum>");
    qRegisterMetaType<FIDVectorData>("FIDVectorData");
    qRegisterMetaType<XYZST>("XYZST");
    qRegisterMetaType<QVector<XYZST>>("QVector<XYZST>");
    // Signals name FIDVectorNum on its own as well.
    qRegisterMetaType<FIDVectorNum>("FIDVectorNum");
}

void registerHubMetaTypes()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    qRegisterMetaType<RefreshData>("RefreshData");
    qRegisterMetaType<RefreshDataEx>("RefreshDataEx");
    qRegisterMetaType<QVector<double>>("QVector<double>");
    qRegisterMetaType<QList<QString>>("QList<QString>");
    qRegisterMetaType<DataParam>("DataParam");
}
