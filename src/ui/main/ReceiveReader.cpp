#include "ui/main/ReceiveReader.h"

#include "monitor/FrameStore.h"
#include "serial/QCCom32.h"

#include <climits>

#include <algorithm>
#include <chrono>

namespace {

int64_t MicrosecondsSinceEpoch()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

TReceiveReader::TReceiveReader(TQCCom32 *port, TFrameStore *store, QObject *parent)
    : QObject(parent), m_port(port), m_store(store)
{
    Now = MicrosecondsSinceEpoch;
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { FinishItem(); });
}

TReceiveReader::~TReceiveReader()
{
    if (m_running && m_port)
        m_port->setOnInputWaiting({});
}

void TReceiveReader::Start()
{
    m_running = true;
    m_port->setOnInputWaiting([this] { ReadNow(); });
    // What came before the listener was set would not wake it.
    if (m_port->InCount() > 0)
        ReadNow();
}

void TReceiveReader::Stop()
{
    m_running = false;
    if (m_port)
        m_port->setOnInputWaiting({});
}

void TReceiveReader::ReadNow()
{
    if (!m_port)
        return;
    m_read.resize(0);
    m_port->ReadWaiting(m_read);
    if (m_read.isEmpty())
        return;
    m_store->Append(m_read, Now());
    if (OnRecorded)
        OnRecorded();
    if (m_item.isEmpty()) {
        // As a reply wait would: a whole response time from the first byte, and just past it.
        m_deadline.start(int(std::min<uint32_t>(m_port->ResponseTime(), INT_MAX - 1)) + 1);
        m_scanned = 0;
    }
    m_item += m_read;
    const QByteArray &terminator = m_port->ResponseTerminator();
    if (terminator.isEmpty() || m_item.indexOf(terminator, m_scanned) >= 0) {
        FinishItem();
        return;
    }
    m_scanned = std::max<qsizetype>(0, m_item.size() - terminator.size() + 1);
}

void TReceiveReader::FinishItem()
{
    m_deadline.stop();
    if (m_item.isEmpty())
        return;
    const QByteArray item = m_item;
    m_item.clear();
    if (OnItem)
        OnItem(item);
}
