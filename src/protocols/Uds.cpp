#include "protocols/Uds.h"

#include "protocols/ProtocolFrame.h"

#include <QStringList>

namespace {

struct TName {
    int Code;
    const char *Name;
};

const char *find(const TName *table, int count, int code)
{
    for (int i = 0; i < count; ++i)
        if (table[i].Code == code)
            return table[i].Name;
    return nullptr;
}

template <int N> QString lookup(const TName (&table)[N], int code)
{
    const char *name = find(table, N, code);
    return name ? QString::fromLatin1(name) : QString();
}

const TName services[] = {
    {0x10, "DiagnosticSessionControl"}, {0x11, "ECUReset"}, {0x14, "ClearDiagnosticInformation"},
    {0x19, "ReadDTCInformation"}, {0x22, "ReadDataByIdentifier"}, {0x23, "ReadMemoryByAddress"},
    {0x24, "ReadScalingDataByIdentifier"}, {0x27, "SecurityAccess"}, {0x28, "CommunicationControl"},
    {0x29, "Authentication"}, {0x2A, "ReadDataByPeriodicIdentifier"}, {0x2C, "DynamicallyDefineDataIdentifier"},
    {0x2E, "WriteDataByIdentifier"}, {0x2F, "InputOutputControlByIdentifier"}, {0x31, "RoutineControl"},
    {0x34, "RequestDownload"}, {0x35, "RequestUpload"}, {0x36, "TransferData"}, {0x37, "RequestTransferExit"},
    {0x38, "RequestFileTransfer"}, {0x3D, "WriteMemoryByAddress"}, {0x3E, "TesterPresent"},
    {0x83, "AccessTimingParameter"}, {0x84, "SecuredDataTransmission"}, {0x85, "ControlDTCSetting"},
    {0x86, "ResponseOnEvent"}, {0x87, "LinkControl"},
};

const TName nrcs[] = {
    {0x10, "generalReject"}, {0x11, "serviceNotSupported"}, {0x12, "subFunctionNotSupported"},
    {0x13, "incorrectMessageLengthOrInvalidFormat"}, {0x14, "responseTooLong"}, {0x21, "busyRepeatRequest"},
    {0x22, "conditionsNotCorrect"}, {0x24, "requestSequenceError"}, {0x25, "noResponseFromSubnetComponent"},
    {0x26, "failurePreventsExecutionOfRequestedAction"}, {0x31, "requestOutOfRange"}, {0x33, "securityAccessDenied"},
    {0x34, "authenticationRequired"}, {0x35, "invalidKey"}, {0x36, "exceededNumberOfAttempts"},
    {0x37, "requiredTimeDelayNotExpired"}, {0x70, "uploadDownloadNotAccepted"}, {0x71, "transferDataSuspended"},
    {0x72, "generalProgrammingFailure"}, {0x73, "wrongBlockSequenceCounter"},
    {0x78, "requestCorrectlyReceivedResponsePending"}, {0x7E, "subFunctionNotSupportedInActiveSession"},
    {0x7F, "serviceNotSupportedInActiveSession"}, {0x81, "rpmTooHigh"}, {0x82, "rpmTooLow"},
    {0x83, "engineIsRunning"}, {0x84, "engineIsNotRunning"}, {0x85, "engineRunTimeTooLow"},
    {0x86, "temperatureTooHigh"}, {0x87, "temperatureTooLow"}, {0x88, "vehicleSpeedTooHigh"},
    {0x89, "vehicleSpeedTooLow"}, {0x8A, "throttlePedalTooHigh"}, {0x8B, "throttlePedalTooLow"},
    {0x8C, "transmissionRangeNotInNeutral"}, {0x8D, "transmissionRangeNotInGear"}, {0x8F, "brakeSwitchNotClosed"},
    {0x90, "shifterLeverNotInPark"}, {0x91, "torqueConverterClutchLocked"}, {0x92, "voltageTooHigh"},
    {0x93, "voltageTooLow"}, {0x94, "resourceTemporarilyNotAvailable"},
};

const TName sessions[] = {{1, "defaultSession"}, {2, "programmingSession"}, {3, "extendedDiagnosticSession"},
                          {4, "safetySystemDiagnosticSession"}};
const TName resets[] = {{1, "hardReset"}, {2, "keyOffOnReset"}, {3, "softReset"}, {4, "enableRapidPowerShutDown"},
                        {5, "disableRapidPowerShutDown"}};
const TName dtcReports[] = {
    {0x01, "reportNumberOfDTCByStatusMask"}, {0x02, "reportDTCByStatusMask"}, {0x03, "reportDTCSnapshotIdentification"},
    {0x04, "reportDTCSnapshotRecordByDTCNumber"}, {0x06, "reportDTCExtDataRecordByDTCNumber"},
    {0x0A, "reportSupportedDTC"}, {0x0B, "reportFirstTestFailedDTC"}, {0x0C, "reportFirstConfirmedDTC"},
    {0x0D, "reportMostRecentTestFailedDTC"}, {0x0E, "reportMostRecentConfirmedDTC"}, {0x14, "reportDTCFaultDetectionCounter"},
    {0x15, "reportDTCWithPermanentStatus"},
};
const TName routines[] = {{1, "startRoutine"}, {2, "stopRoutine"}, {3, "requestRoutineResults"}};
const TName onOff[] = {{1, "on"}, {2, "off"}};
const TName commControl[] = {{0, "enableRxAndTx"}, {1, "enableRxAndDisableTx"}, {2, "disableRxAndEnableTx"},
                             {3, "disableRxAndTx"}};
const TName dids[] = {
    {0xF180, "bootSoftwareIdentification"}, {0xF181, "applicationSoftwareIdentification"},
    {0xF186, "activeDiagnosticSession"}, {0xF187, "sparePartNumber"}, {0xF188, "ecuSoftwareNumber"},
    {0xF189, "ecuSoftwareVersionNumber"}, {0xF18A, "systemSupplierIdentifier"}, {0xF18B, "ecuManufacturingDate"},
    {0xF18C, "ecuSerialNumber"}, {0xF190, "VIN"}, {0xF191, "ecuHardwareNumber"}, {0xF192, "supplierHardwareNumber"},
    {0xF193, "supplierHardwareVersion"}, {0xF194, "supplierSoftwareNumber"}, {0xF195, "supplierSoftwareVersion"},
    {0xF197, "systemName"},
};
const char *const dtcStatusBits[8] = {"testFailed", "testFailedThisOperationCycle", "pendingDTC", "confirmedDTC",
                                      "testNotCompletedSinceLastClear", "testFailedSinceLastClear",
                                      "testNotCompletedThisOperationCycle", "warningIndicatorRequested"};

// The sub-function names of the services that have them.
QString subFunctionName(int sid, int sub)
{
    switch (sid) {
    case 0x10: return lookup(sessions, sub);
    case 0x11: return lookup(resets, sub);
    case 0x19: return lookup(dtcReports, sub);
    case 0x27: return sub % 2 ? QStringLiteral("requestSeed level %1").arg(sub) : QStringLiteral("sendKey level %1").arg(sub - 1);
    case 0x28: return lookup(commControl, sub);
    case 0x31: return lookup(routines, sub);
    case 0x3E: return sub == 0 ? QStringLiteral("zeroSubFunction") : QString();
    case 0x85: return lookup(onOff, sub);
    default: return QString();
    }
}

bool hasSubFunction(int sid)
{
    switch (sid) {
    case 0x10: case 0x11: case 0x19: case 0x27: case 0x28: case 0x31: case 0x3E: case 0x85: case 0x87: case 0x29:
        return true;
    default:
        return false;
    }
}

uint16_t be16(const QByteArray &b, int at)
{
    return uint16_t((uint8_t(b[at]) << 8) | uint8_t(b[at + 1]));
}

// Printable data read as text ("WVWZZZ1JZXW000001"), anything else as hex bytes.
QString valueText(const QByteArray &bytes)
{
    bool printable = !bytes.isEmpty();
    for (char c : bytes)
        printable = printable && ((c >= 0x20 && c < 0x7F) || c == 0);
    if (printable) {
        QByteArray text = bytes;
        while (text.endsWith('\0'))
            text.chop(1);
        return QLatin1Char('"') + QString::fromLatin1(text) + QLatin1Char('"');
    }
    return HexBytes(bytes);
}

QString didText(uint16_t did)
{
    const QString name = lookup(dids, did);
    const QString hex = QStringLiteral("%1").arg(did, 4, 16, QLatin1Char('0')).toUpper();
    return name.isEmpty() ? hex : QStringLiteral("%1 (%2)").arg(hex, name);
}

QString statusText(uint8_t status)
{
    QStringList bits;
    for (int i = 0; i < 8; ++i)
        if (status & (1 << i))
            bits << QLatin1String(dtcStatusBits[i]);
    return QStringLiteral("status %1%2")
        .arg(status, 2, 16, QLatin1Char('0'))
        .arg(bits.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(bits.join(QLatin1Char(','))));
}

// A positive ReadDTCInformation answer: the records of reportDTCByStatusMask and its kin.
QString dtcList(const QByteArray &p)
{
    const int sub = uint8_t(p[1]) & 0x7F;
    if (sub == 0x01 && p.size() >= 6)
        return QStringLiteral("%1 DTC(s)").arg(be16(p, 4));
    if (p.size() < 3)
        return QString();
    QStringList dtcs;
    for (int at = 3; at + 4 <= p.size(); at += 4)
        dtcs << QStringLiteral("%1 %2").arg(UdsDtcText(uint8_t(p[at]), uint8_t(p[at + 1]), uint8_t(p[at + 2])),
                                            statusText(uint8_t(p[at + 3])));
    return dtcs.isEmpty() ? QStringLiteral("no DTC") : dtcs.join(QStringLiteral("; "));
}

// OBD-II mode 01 PIDs: name and value from the data bytes A, B.
QString obdPid(int pid, const QByteArray &d)
{
    auto a = [&] { return d.size() > 0 ? int(uint8_t(d[0])) : 0; };
    auto ab = [&] { return d.size() > 1 ? (int(uint8_t(d[0])) << 8) | uint8_t(d[1]) : 0; };
    auto pct = [&] { return QString::number(a() * 100.0 / 255.0, 'f', 1) + QStringLiteral(" %"); };
    auto temp = [&] { return QString::number(a() - 40) + QStringLiteral(" degC"); };
    const bool one = d.size() >= 1, two = d.size() >= 2;
    switch (pid) {
    case 0x00: case 0x20: case 0x40: case 0x60: return QStringLiteral("supported PIDs %1").arg(HexBytes(d));
    case 0x04: return one ? QStringLiteral("engine load %1").arg(pct()) : QStringLiteral("engine load");
    case 0x05: return one ? QStringLiteral("coolant temperature %1").arg(temp()) : QStringLiteral("coolant temperature");
    case 0x0C: return two ? QStringLiteral("engine speed %1 rpm").arg(ab() / 4.0) : QStringLiteral("engine speed");
    case 0x0D: return one ? QStringLiteral("vehicle speed %1 km/h").arg(a()) : QStringLiteral("vehicle speed");
    case 0x0F: return one ? QStringLiteral("intake air temperature %1").arg(temp()) : QStringLiteral("intake air temperature");
    case 0x10: return two ? QStringLiteral("MAF air flow %1 g/s").arg(ab() / 100.0) : QStringLiteral("MAF air flow");
    case 0x11: return one ? QStringLiteral("throttle position %1").arg(pct()) : QStringLiteral("throttle position");
    case 0x1F: return two ? QStringLiteral("run time %1 s").arg(ab()) : QStringLiteral("run time");
    case 0x2F: return one ? QStringLiteral("fuel level %1").arg(pct()) : QStringLiteral("fuel level");
    case 0x46: return one ? QStringLiteral("ambient air temperature %1").arg(temp()) : QStringLiteral("ambient air temperature");
    case 0x5C: return one ? QStringLiteral("oil temperature %1").arg(temp()) : QStringLiteral("oil temperature");
    default: return QStringLiteral("PID %1 %2").arg(pid, 2, 16, QLatin1Char('0')).arg(HexBytes(d)).trimmed();
    }
}

TUdsMeaning describeObd(const QByteArray &p)
{
    TUdsMeaning m;
    const int sid = uint8_t(p[0]);
    m.Response = sid >= 0x41;
    const int service = m.Response ? sid - 0x40 : sid;
    m.Service = service;
    const int pid = p.size() > 1 ? uint8_t(p[1]) : -1;
    QString what;
    if (service == 0x01 && pid >= 0)
        what = (m.Response ? obdPid(pid, p.mid(2)) : obdPid(pid, QByteArray())).trimmed();
    else if (service == 0x09 && pid == 0x02)
        what = m.Response ? QStringLiteral("VIN %1").arg(valueText(p.mid(p.size() > 3 ? 3 : 2))) : QStringLiteral("VIN");
    else if (pid >= 0)
        what = QStringLiteral("PID %1").arg(pid, 2, 16, QLatin1Char('0')).toUpper();
    m.Text = QStringLiteral("OBD-II service %1%2%3")
                 .arg(service, 2, 16, QLatin1Char('0'))
                 .arg(m.Response ? QStringLiteral(" response") : QString())
                 .arg(what.isEmpty() ? QString() : QStringLiteral(" ") + what);
    return m;
}

} // namespace

QString UdsServiceName(int sid)
{
    return lookup(services, sid);
}

QString UdsNrcName(int nrc)
{
    return lookup(nrcs, nrc);
}

QString UdsDtcText(uint8_t high, uint8_t middle, uint8_t low)
{
    static const char letters[4] = {'P', 'C', 'B', 'U'};
    return QStringLiteral("%1%2%3%4")
        .arg(QLatin1Char(letters[high >> 6]))
        .arg((high >> 4) & 3)
        .arg(high & 0x0F, 1, 16)
        .arg(middle, 2, 16, QLatin1Char('0'))
        .toUpper()
        + QStringLiteral("-%1").arg(low, 2, 16, QLatin1Char('0')).toUpper();
}

TUdsMeaning DescribeUds(const QByteArray &p, bool obd)
{
    TUdsMeaning m;
    if (p.isEmpty()) {
        m.Text = QStringLiteral("UDS empty message");
        return m;
    }
    const int sid = uint8_t(p[0]);
    if (obd && ((sid >= 0x01 && sid <= 0x0A) || (sid >= 0x41 && sid <= 0x4A)))
        return describeObd(p);

    if (sid == 0x7F) {
        m.Response = true;
        m.Service = p.size() > 1 ? uint8_t(p[1]) : -1;
        m.Nrc = p.size() > 2 ? uint8_t(p[2]) : -1;
        m.Pending = m.Nrc == 0x78;
        const QString service = m.Service >= 0 ? UdsServiceName(m.Service) : QString();
        const QString nrc = m.Nrc >= 0 ? UdsNrcName(m.Nrc) : QString();
        m.Text = QStringLiteral("UDS negative response %1 NRC %2%3")
                     .arg(service.isEmpty() ? QStringLiteral("%1").arg(m.Service, 2, 16, QLatin1Char('0')).toUpper() : service)
                     .arg(m.Nrc, 2, 16, QLatin1Char('0'))
                     .arg(nrc.isEmpty() ? QString() : QStringLiteral(" ") + nrc);
        return m;
    }

    const bool response = (sid & 0x40) && !UdsServiceName(sid & ~0x40).isEmpty();
    m.Response = response;
    m.Service = response ? sid & ~0x40 : sid;
    const QString name = UdsServiceName(m.Service);
    if (name.isEmpty()) {
        m.Text = QStringLiteral("UDS service %1 %2").arg(sid, 2, 16, QLatin1Char('0')).arg(HexBytes(p, 1)).trimmed();
        return m;
    }
    QStringList parts{QStringLiteral("UDS"), name};
    if (response)
        parts << QStringLiteral("response");
    int at = 1;
    if (hasSubFunction(m.Service) && p.size() > 1) {
        const int raw = uint8_t(p[1]);
        const int sub = raw & 0x7F;
        const QString subName = subFunctionName(m.Service, sub);
        parts << (subName.isEmpty() ? QStringLiteral("%1").arg(sub, 2, 16, QLatin1Char('0')) : subName);
        if (!response && (raw & 0x80))
            parts << QStringLiteral("(no response wanted)");
        at = 2;
    }
    if ((m.Service == 0x22 || m.Service == 0x2E) && p.size() >= 3) {
        if (!response && m.Service == 0x22) {
            QStringList list;
            for (int i = 1; i + 1 < p.size(); i += 2)
                list << didText(be16(p, i));
            parts << list.join(QLatin1Char(' '));
            at = p.size();
        } else {
            parts << didText(be16(p, 1));
            at = 3;
            if (p.size() > 3)
                parts << QStringLiteral("= %1").arg(valueText(p.mid(3)));
            at = p.size();
        }
    } else if (m.Service == 0x19 && response && p.size() >= 2) {
        parts << dtcList(p);
        at = p.size();
    } else if (m.Service == 0x31 && p.size() >= 4) {
        parts << QStringLiteral("%1").arg(be16(p, 2), 4, 16, QLatin1Char('0')).toUpper();
        at = 4;
    }
    if (at < p.size())
        parts << HexBytes(p, at);
    m.Text = parts.join(QLatin1Char(' '));
    return m;
}
