#pragma once
// Splits what a socketcand client sends into commands "< ... >", the way socketcand frames them
// (no line ends needed, blanks between commands ignored), with bounded memory whatever arrives.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

struct TReadItem {
    bool isError = false;
    QByteArray text; // the command with its brackets, or the reason of the error
};

class TCommandReader {
public:
    // Longest command kept; a longer one is refused and skipped up to its ">".
    static constexpr qsizetype MaxCommand = 1024;

    // Appends the commands and errors found in `bytes` to `out`, in order. A command cut between
    // two calls is completed by the next one.
    void Feed(QByteArrayView bytes, QList<TReadItem> &out);
    // Bytes of an unfinished command held for the next call (never more than MaxCommand).
    qsizetype Pending() const { return m_command.size(); }

private:
    enum class TState { Between, InCommand, Skipping };
    TState m_state = TState::Between;
    bool m_strayReported = false;
    QByteArray m_command;
};
