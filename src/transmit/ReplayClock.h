#pragma once
// When each frame of a recorded log is played. Pure: times are microseconds of a monotonic clock
// the caller owns, so tests run it without waiting.
//
// A frame is due when its time since the log's first frame, divided by the speed, has passed
// since the wall-clock anchor set at the start. A time that jumps back (logs joined together, a
// clock set back) plays on from where the log stood, as if that frame followed at once. Paused
// time moves the anchor. With `Fast`, frames follow each other as the line carries them: each
// one is due when the previous line has gone out at the line's byte rate. A gap longer than
// `MaxGapUs` plays as that long. Sums of far-apart stamps stop at the largest time instead of
// wrapping round.

#include "monitor/CandumpLog.h"
#include "monitor/FrameFilter.h"

#include <QList>
#include <QVector>

#include <cstdint>
#include <optional>
#include <vector>

struct TReplayOptions {
    double Speed = 1.0;            // 0.25 to 8
    bool Fast = false;             // as fast as the line carries the lines
    double LineBytesPerSecond = 11520;
    bool WithChecksum = false;     // the lines' length on the wire, for Fast
    int Loops = 1;                 // passes through the log; 0: until stopped
    int64_t MaxGapUs = 0;          // longer gaps between frames are cut to this; 0: as logged
    std::vector<TIdRange> Ids;     // empty: every identifier
};

class TReplayClock {
public:
    static constexpr double MinSpeed = 0.25;
    static constexpr double MaxSpeed = 8.0;

    TReplayClock(const QVector<TLogFrame> &frames, const TReplayOptions &options);

    void Start(int64_t nowUs);
    void Pause(int64_t nowUs);
    void Resume(int64_t nowUs);
    bool Paused() const { return m_paused; }
    bool Finished() const { return m_finished; }

    // The next frame to send if it is due at `nowUs` (an index into the frames), else -1. Frames
    // the module cannot send (CAN FD, error frames) and identifiers not chosen are passed over
    // on the way and counted.
    int TakeDue(int64_t nowUs);
    // When the next frame falls due; none when finished or paused.
    std::optional<int64_t> NextDueUs() const;

    int64_t Sent() const { return m_sent; }
    // Frames sent in one pass, and in the whole run (-1: until stopped).
    int64_t FramesPerPass() const { return m_framesPerPass; }
    int64_t FramesInRun() const;
    int64_t Skipped() const { return m_skipped; }     // CAN FD and error frames
    int64_t NotChosen() const { return m_notChosen; } // identifiers outside the choice
    int LoopsDone() const { return m_loopsDone; }
    // Log time of one pass, and how far the current pass has played at `nowUs`, in microseconds
    // at 1x: it moves on through a gap, and stops at the next frame while that has not gone out.
    int64_t PassUs() const { return m_passUs; }
    int64_t PlayedUs(int64_t nowUs) const;
    // Wall time still to go at the speed (all passes; negative: until stopped).
    int64_t LeftUs(int64_t nowUs) const;

    // The composer's line for a log frame (no checksum, no CR); empty for frames it cannot send.
    static QByteArray FrameLine(const TLogFrame &frame);

private:
    enum class TKind : uint8_t { Send, Skip, NotChosen };
    struct TEntry {
        int64_t passUs; // when in the pass, at 1x
        TKind kind;
    };
    int64_t DueUs(qsizetype entry) const;
    int64_t WallUs(int64_t logUs) const; // log time at 1x as wall time at the speed

    QVector<TEntry> m_entries;
    TReplayOptions m_o;
    double m_speed = 1.0;
    int64_t m_passUs = 0;
    int64_t m_tailUs = 0;   // Fast: the last line's time on the wire before the next pass
    int64_t m_anchorUs = 0; // wall time of the current pass's start
    int64_t m_pausedAtUs = 0;
    qsizetype m_next = 0;
    int m_loopsDone = 0;
    bool m_started = false;
    bool m_paused = false;
    bool m_finished = false;
    int64_t m_sent = 0;
    int64_t m_skipped = 0;
    int64_t m_notChosen = 0;
    int64_t m_framesPerPass = 0;
};
