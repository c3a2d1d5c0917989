#pragma once
// The tester's side of a UDS request over ISO-TP: the request as a single frame, or as a first
// frame and consecutive frames paced by the ECU's flow control; answers reassembled, with our
// flow control sent to every ECU that answers with a first frame. Pure: it is given the frames
// that arrive and the time, and says what to send and when.

#include "protocols/ProtocolFrame.h"

#include <QHash>

struct TIsoTpClientOptions {
    uint32_t Tx = 0x7E0;   // the request's identifier
    uint32_t Rx = 0x7E8;   // the answer's; ignored when functional
    bool Extended = false; // 29-bit identifiers
    // 7DF or 18DB33F1: every ECU may answer, from 7E8-7EF or 18DAF1xx (xx: the ECU).
    bool Functional = false;
    uint8_t Padding = 0xAA; // unused bytes of a frame sent
};

struct TIsoTpAnswer {
    uint32_t From = 0;   // the ECU's identifier
    QByteArray Payload;
    int64_t TimeUs = 0;
};

class TIsoTpClient {
public:
    explicit TIsoTpClient(const TIsoTpClientOptions &options);

    // The frames of the request; the consecutive frames follow the ECU's flow control. False
    // when the request does not fit ISO-TP (empty, or over 4095 bytes).
    bool Start(const QByteArray &request, int64_t nowUs, QString &problem);
    // A frame from the bus. Answers completed are appended; a fault ends the request.
    void Feed(const TBusFrame &frame, QList<TIsoTpAnswer> &answers);
    // Frames due at `nowUs` (their TimeUs says when they were due), taken from the queue.
    QList<TBusFrame> TakeDue(int64_t nowUs);
    // When the next frame is due; -1 when none waits.
    int64_t NextDueUs() const;
    // Still sending the request (waiting for flow control or pacing consecutive frames).
    bool Sending() const { return m_sendOffset < m_request.size() && m_request.size() > 7; }
    QString Fault() const { return m_fault; }
    // The identifier our flow control goes to for an answer from `from`.
    uint32_t FlowControlId(uint32_t from) const;

private:
    bool Accepts(const TBusFrame &frame) const;
    void QueueConsecutive(int64_t fromUs, int count, int64_t gapUs);
    TBusFrame Frame(uint32_t id, const QByteArray &bytes, int64_t dueUs) const;

    struct TReceive {
        int Expected = 0;
        int NextSequence = 1;
        QByteArray Data;
    };

    TIsoTpClientOptions m_options;
    QByteArray m_request;
    int m_sendOffset = 0;    // bytes of the request in frames queued
    int m_nextSequence = 1;
    bool m_awaitFlowControl = false;
    QList<TBusFrame> m_queue;
    QHash<uint32_t, TReceive> m_receive;
    QString m_fault;
};
