#include "VirtualModule.h"

#include "protocol/Framing.h"

#include <algorithm>

namespace Sim {

namespace {

constexpr uint64_t NoiseSeedSalt = 0x6E6F697365ull; // keeps noise apart from the node's lines

// "$P0..." and "$P1..." are answered alike whatever their block, so they share one key.
QByteArray replyKey(const QByteArray &line)
{
    if (line.startsWith("$P0") || line.startsWith("$P1"))
        return line.left(3);
    return line;
}

} // namespace

VirtualModule::VirtualModule(const SimOptions &options, uint64_t nowMs)
    : m_options(options),
      m_rs232(options.rs232),
      m_can(options.can),
      m_traffic(options.seed),
      m_noise(options.seed ^ NoiseSeedSalt),
      m_nowMs(nowMs)
{
    if (m_options.mode == SimMode::Configuration) {
        // No bus behind a module that is being configured.
        m_options.trafficRate = TrafficOff;
        m_options.demo = false;
        m_options.echo = false;
    }
    if (hasBusNode() && m_options.trafficNow)
        m_trafficStartMs = nowMs;
    if (m_options.nodes && m_options.mode == SimMode::Operation)
        m_nodes.emplace();
}

void VirtualModule::lineOpened(uint64_t nowMs)
{
    // The demo and the protocol nodes also run for a program that never probes (the pair test,
    // --no-probe), once it has had the time to probe if it wanted to.
    if (m_options.demo && m_trafficStartMs == NeverDue) {
        m_trafficStartMs = nowMs + StartAfterOpenMs;
        m_startFromOpen = true;
    }
    if (m_nodes)
        m_nodes->startBy(nowMs + StartAfterOpenMs);
}

void VirtualModule::scheduleNodeLines(const QList<ProtocolNodes::Line> &lines)
{
    for (const ProtocolNodes::Line &line : lines)
        schedule(line.dueMs, frame(line.text));
}

int32_t VirtualModule::moduleBaud() const
{
    if (m_options.mode == SimMode::Configuration)
        return ConfigModeBaud;
    const int32_t rate = RS232BaudRate(m_rs232.baudIndex);
    return rate > 0 ? rate : ConfigModeBaud;
}

int VirtualModule::firmwareLevel() const
{
    return m_options.firmware.isEmpty() ? 0 : Framing::AscToInt(m_options.firmware[0]);
}

bool VirtualModule::checksummed() const
{
    return m_options.mode == SimMode::Operation && m_rs232.checksum == 1;
}

QList<QByteArray> VirtualModule::receivedLines() const
{
    return QList<QByteArray>(m_lines.begin(), m_lines.end());
}

void VirtualModule::receive(const QByteArray &bytes, int32_t lineBaud, uint64_t nowMs)
{
    m_lineBaud = lineBaud;
    m_nowMs = std::max(m_nowMs, nowMs);
    for (char c : bytes) {
        if (c == Framing::CR) {
            const QByteArray line = m_partial;
            m_partial.clear();
            processLine(line, nowMs);
            m_overflow = false;
        } else if (m_partial.size() < MaxLineLength) {
            m_partial += c;
        } else {
            // Keep the memory bounded; the whole line is refused when its CR comes.
            m_overflow = true;
        }
    }
}

void VirtualModule::processLine(const QByteArray &line, uint64_t nowMs)
{
    ++m_lineCount;
    m_lines.push_back(line);
    if (qsizetype(m_lines.size()) > KeptLines)
        m_lines.pop_front();
    if (m_observer)
        m_observer(line);

    QByteArray answer;
    bool fromBus = false;
    if (m_overflow) {
        answer = m_options.mode == SimMode::Configuration ? frame("?") : refusal();
    } else if (m_options.mode == SimMode::Configuration) {
        answer = configAnswer(line);
    } else {
        const int64_t busBefore = m_busMessages;
        answer = operationAnswer(line, nowMs);
        fromBus = m_busMessages != busBefore;
    }
    if (!m_overflow) {
        const auto custom = m_options.replies.constFind(replyKey(line));
        if (custom != m_options.replies.constEnd()) {
            answer = *custom;
            fromBus = false;
        }
    }
    if (m_options.silent || answer.isEmpty())
        return;
    if (m_options.busNoise && !fromBus)
        answer.prepend(frame(m_noise.nextLong()));
    schedule(nowMs + uint64_t(m_options.delayMs), answer);
}

QByteArray VirtualModule::configAnswer(const QByteArray &line)
{
    if (line == "#A")
        return frame("!S" + m_options.firmware);
    if (line == "#PV")
        return frame("!V" + m_options.firmware);
    if (line == "#PC")
        return frame("!C" + m_options.maker);
    if (line == "#PM")
        return frame("!M" + m_options.model);
    if (line == "#P0")
        return frame("!P" + RS232Block(m_rs232));
    if (line == "#P1")
        return frame("!P" + CanBlock(m_can, firmwareLevel() >= 2));

    // A settings write: command, two length digits, block, two checksum digits.
    const bool rs232 = line.startsWith("$P0");
    if (!rs232 && !line.startsWith("$P1"))
        return frame("?");
    if (line.size() < 7 || Framing::AddChksum(line.chopped(2)) != line.right(2))
        return frame("?");
    const QByteArray lengthDigits = line.mid(3, 2);
    const QByteArray block = line.mid(5, line.size() - 7);
    if (rs232) {
        const auto params = ParseRS232Block(block);
        if (lengthDigits != "09" || !params)
            return frame("?");
        m_rs232 = *params;
        return frame("!P0");
    }
    // Each firmware generation knows only its own form of the CAN write.
    const QByteArray expected = firmwareLevel() >= 2 ? "21" : "15";
    const auto params = ParseCanBlock(block, m_can);
    if (lengthDigits != expected || !params)
        return frame("?");
    m_can = *params;
    if (m_options.misstore)
        m_can.baud = (m_can.baud + 1) % 10;
    return frame("!P1");
}

QByteArray VirtualModule::operationAnswer(const QByteArray &line, uint64_t nowMs)
{
    QByteArray body = line;
    if (checksummed()) {
        if (line.size() < 2 || Framing::AddChksum(line.chopped(2)) != line.right(2))
            return refusal();
        body.chop(2);
    }
    if (body == "#A") {
        const uint64_t afterProbe = nowMs + uint64_t(m_options.delayMs) + uint64_t(m_options.trafficAfterMs);
        // A probe answered first moves a start that an open set for later.
        if (hasBusNode() && (m_trafficStartMs == NeverDue || (m_startFromOpen && afterProbe < m_trafficStartMs)))
            m_trafficStartMs = afterProbe;
        m_startFromOpen = false;
        if (m_nodes)
            m_nodes->start(afterProbe + 100);
        return frame("!R" + m_options.firmware);
    }
    if (!IsWellFormedMessage(body))
        return refusal();
    ++m_busMessages;
    if (m_nodes) {
        QList<ProtocolNodes::Line> answers;
        m_nodes->heard(body, nowMs, answers);
        scheduleNodeLines(answers);
    }
    return m_options.echo ? frame(body) : QByteArray();
}

QByteArray VirtualModule::refusal() const
{
    return m_rs232.respond == 1 ? frame("?") : QByteArray();
}

QByteArray VirtualModule::frame(const QByteArray &text) const
{
    return Framing::FrameLine(text, checksummed());
}

void VirtualModule::schedule(uint64_t dueMs, const QByteArray &bytes)
{
    // Stable: answers due at the same time leave in the order their lines came.
    const auto at = std::upper_bound(m_queue.begin(), m_queue.end(), dueMs,
                                     [](uint64_t due, const Scheduled &s) { return due < s.dueMs; });
    m_queue.insert(at, Scheduled{dueMs, bytes});
}

uint64_t VirtualModule::nextTrafficDue() const
{
    if (m_trafficStartMs == NeverDue || !hasBusNode())
        return NeverDue;
    if (m_options.trafficCount >= 0 && m_trafficSent >= m_options.trafficCount)
        return NeverDue;
    if (m_options.demo)
        return m_trafficStartMs + m_demo.nextDueMs();
    if (m_options.trafficRate == TrafficMax)
        return m_trafficStartMs;
    // From the start time, not from the previous line, so the rate does not drift.
    return m_trafficStartMs + uint64_t(m_trafficSent + 1) * 1000u / uint64_t(m_options.trafficRate);
}

uint64_t VirtualModule::nextDueMs() const
{
    const uint64_t queued = m_queue.empty() ? NeverDue : m_queue.front().dueMs;
    const uint64_t nodes = m_nodes ? m_nodes->nextPeriodicMs() : NeverDue;
    return std::min({queued, nextTrafficDue(), nodes});
}

bool VirtualModule::lineMismatched() const
{
    return m_lineBaud > 0 && m_lineBaud != moduleBaud();
}

QByteArray VirtualModule::takeOutput(uint64_t nowMs)
{
    m_nowMs = std::max(m_nowMs, nowMs);
    if (m_nodes) {
        QList<ProtocolNodes::Line> periodic;
        m_nodes->takePeriodic(nowMs, periodic);
        scheduleNodeLines(periodic);
    }
    QByteArray out;
    int trafficLines = 0;
    for (;;) {
        const uint64_t queued = m_queue.empty() ? NeverDue : m_queue.front().dueMs;
        const uint64_t traffic = nextTrafficDue();
        if (std::min(queued, traffic) > nowMs)
            break;
        if (queued <= traffic) {
            out += m_queue.front().bytes;
            m_queue.pop_front();
        } else {
            if (trafficLines == TrafficBatch)
                break;
            out += frame(m_options.demo ? m_demo.next() : m_traffic.next());
            ++m_trafficSent;
            ++trafficLines;
        }
    }
    return lineMismatched() ? Garble(out) : out;
}

QByteArray VirtualModule::Garble(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes)
        if (c != Framing::CR)
            out += char((uint8_t(c) & 1) ? 0xF8 : 0x80);
    return out;
}

} // namespace Sim
