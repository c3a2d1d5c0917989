#pragma once
// UDS (ISO 14229-1) and OBD-II (ISO 15031-5) messages, as ISO-TP delivers them, in words:
// service names, sub-functions, data identifiers, negative response codes, DTCs.

#include <QByteArray>
#include <QString>

struct TUdsMeaning {
    QString Text;      // "UDS ReadDataByIdentifier F190", "UDS negative response ... NRC 0x31 requestOutOfRange"
    int Service = -1;  // the request's service identifier (a response's without 0x40)
    int Nrc = -1;      // negative responses only
    bool Response = false;
    bool Pending = false; // NRC 0x78: the final answer is still to come
};

// `obd`: the message travelled on the OBD-II identifiers (7DF, 7E0-7EF), so services 01-0A are
// OBD-II services rather than unknown UDS ones.
TUdsMeaning DescribeUds(const QByteArray &payload, bool obd);

QString UdsServiceName(int sid);   // "ReadDataByIdentifier"; empty when not a service of the standard
QString UdsNrcName(int nrc);       // "requestOutOfRange"; empty when unknown
// A three-byte DTC: the SAE J2012 code and the failure type byte, "P0301-00", "U0100-87".
QString UdsDtcText(uint8_t high, uint8_t middle, uint8_t low);
