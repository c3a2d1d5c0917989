#include "transmit/ReplayClock.h"

#include "transmit/TransmitRow.h"

#include <algorithm>
#include <cmath>

namespace {

// Time sums saturate: stamps from far apart (a broken clock, a hostile log) must not wrap round.
int64_t AddSaturated(int64_t a, int64_t b)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

int64_t GapSaturated(int64_t from, int64_t to)
{
    int64_t gap = 0;
    if (__builtin_sub_overflow(to, from, &gap))
        return to > from ? INT64_MAX : INT64_MIN;
    return gap;
}

int64_t RoundSaturated(double us)
{
    // 2^63 as a double; anything at or beyond it does not fit.
    constexpr double Limit = 9223372036854775808.0;
    if (!(us < Limit))
        return us != us ? 0 : INT64_MAX;
    if (us <= -Limit)
        return INT64_MIN;
    return std::llround(us);
}

bool Chosen(const std::vector<TIdRange> &ids, uint32_t id)
{
    return ids.empty() ||
           std::any_of(ids.cbegin(), ids.cend(), [id](const TIdRange &r) { return id >= r.first && id <= r.last; });
}

} // namespace

QByteArray TReplayClock::FrameLine(const TLogFrame &f)
{
    if (f.Fd || f.Error || f.Dlc > 8)
        return QByteArray();
    TTransmitRow row;
    row.Id = QString::number(f.Id, 16);
    row.Extended = f.Extended;
    row.Remote = f.Remote;
    row.Dlc = f.Dlc;
    row.Data = f.Data.left(8);
    return TransmitRows::MessageLine(row);
}

TReplayClock::TReplayClock(const QVector<TLogFrame> &frames, const TReplayOptions &options) : m_o(options)
{
    m_speed = std::clamp(options.Speed, MinSpeed, MaxSpeed);
    m_entries.reserve(frames.size());
    int64_t pass = 0;
    const double usPerByte = 1e6 / std::max(options.LineBytesPerSecond, 1.0);
    int64_t fastCarry = 0; // the previous line's time on the wire
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const TLogFrame &f = frames[i];
        TKind kind = TKind::Send;
        if (f.Fd || f.Error)
            kind = TKind::Skip;
        else if (!Chosen(options.Ids, f.Id))
            kind = TKind::NotChosen;
        if (options.Fast) {
            if (kind == TKind::Send) {
                pass += fastCarry;
                fastCarry = std::llround(TransmitRows::WireBytes(FrameLine(f), options.WithChecksum) * usPerByte);
            }
        } else if (i > 0) {
            // Time that jumps back adds nothing: the anchor moves instead.
            int64_t gap = std::max<int64_t>(0, GapSaturated(frames[i - 1].TimeUs, f.TimeUs));
            if (options.MaxGapUs > 0)
                gap = std::min(gap, options.MaxGapUs);
            pass = AddSaturated(pass, gap);
        }
        m_entries.append({pass, kind});
        if (kind == TKind::Send)
            ++m_framesPerPass;
    }
    m_passUs = pass;
    // Without a frame to send, passes would follow each other without end in no time.
    if (m_framesPerPass == 0)
        m_o.Loops = 1;
    m_tailUs = fastCarry;
    if (options.Fast)
        m_speed = 1.0;
}

void TReplayClock::Start(int64_t nowUs)
{
    m_anchorUs = nowUs;
    m_next = 0;
    m_loopsDone = 0;
    m_started = true;
    m_paused = false;
    m_finished = m_entries.isEmpty();
    m_sent = m_skipped = m_notChosen = 0;
}

void TReplayClock::Pause(int64_t nowUs)
{
    if (!m_started || m_paused || m_finished)
        return;
    m_paused = true;
    m_pausedAtUs = nowUs;
}

void TReplayClock::Resume(int64_t nowUs)
{
    if (!m_paused)
        return;
    m_paused = false;
    m_anchorUs = AddSaturated(m_anchorUs, nowUs - m_pausedAtUs);
}

int64_t TReplayClock::WallUs(int64_t logUs) const
{
    return RoundSaturated(double(logUs) / m_speed);
}

int64_t TReplayClock::DueUs(qsizetype entry) const
{
    return AddSaturated(m_anchorUs, WallUs(m_entries[entry].passUs));
}

int64_t TReplayClock::FramesInRun() const
{
    if (m_o.Loops == 0)
        return -1;
    return RoundSaturated(double(m_framesPerPass) * m_o.Loops);
}

int TReplayClock::TakeDue(int64_t nowUs)
{
    while (m_started && !m_paused && !m_finished) {
        if (m_next >= m_entries.size()) {
            ++m_loopsDone;
            if (m_o.Loops > 0 && m_loopsDone >= m_o.Loops) {
                m_finished = true;
                break;
            }
            // The next pass begins where the last frame of this one was due.
            m_anchorUs = AddSaturated(DueUs(m_entries.size() - 1), m_tailUs);
            m_next = 0;
            continue;
        }
        if (DueUs(m_next) > nowUs)
            break;
        const qsizetype i = m_next++;
        switch (m_entries[i].kind) {
        case TKind::Send:
            ++m_sent;
            return int(i);
        case TKind::Skip:
            ++m_skipped;
            break;
        case TKind::NotChosen:
            ++m_notChosen;
            break;
        }
    }
    return -1;
}

std::optional<int64_t> TReplayClock::NextDueUs() const
{
    if (!m_started || m_paused || m_finished)
        return std::nullopt;
    if (m_next >= m_entries.size())
        return AddSaturated(AddSaturated(m_anchorUs, WallUs(m_passUs)), m_tailUs); // the end of the pass
    return DueUs(m_next);
}

int64_t TReplayClock::PlayedUs(int64_t nowUs) const
{
    if (m_finished)
        return m_passUs;
    if (!m_started || m_entries.isEmpty())
        return 0;
    // Where the wall clock stands in the pass, kept between the frame sent last and the next.
    const int64_t at = m_paused ? m_pausedAtUs : nowUs;
    const int64_t played = RoundSaturated(double(GapSaturated(m_anchorUs, at)) * m_speed);
    const int64_t low = m_next > 0 ? m_entries[m_next - 1].passUs : 0;
    const int64_t high = m_next < m_entries.size() ? m_entries[m_next].passUs : m_passUs;
    return std::clamp(played, low, high);
}

int64_t TReplayClock::LeftUs(int64_t nowUs) const
{
    if (m_o.Loops == 0)
        return -1;
    if (m_finished)
        return 0;
    const int64_t passesAfter = std::max(0, m_o.Loops - m_loopsDone - 1);
    const double thisPass = double(WallUs(m_passUs - PlayedUs(nowUs)));
    const double later = double(passesAfter) * (double(WallUs(m_passUs)) + double(m_tailUs));
    return RoundSaturated(thisPass + later);
}
