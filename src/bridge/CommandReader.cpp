#include "bridge/CommandReader.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isText(char c)
{
    return (uint8_t(c) >= 0x20 && uint8_t(c) < 0x7F) || isBlank(c);
}

} // namespace

void TCommandReader::Feed(QByteArrayView bytes, QList<TReadItem> &out)
{
    for (const char c : bytes) {
        switch (m_state) {
        case TState::Between:
            if (c == '<') {
                m_state = TState::InCommand;
                m_command = "<";
                m_strayReported = false;
            } else if (!isBlank(c) && !m_strayReported) {
                // One error per run of stray bytes, so garbage cannot multiply the replies.
                out.append({true, "text outside a command (commands are written between angle brackets)"});
                m_strayReported = true;
            }
            break;
        case TState::InCommand:
            if (c == '>') {
                m_command += c;
                out.append({false, m_command});
                m_command.clear();
                m_state = TState::Between;
            } else if (c == '<') {
                out.append({true, "command not closed before the next one began"});
                m_command = "<";
            } else if (!isText(c)) {
                out.append({true, "binary data in a command"});
                m_command.clear();
                m_state = TState::Skipping;
            } else if (m_command.size() >= MaxCommand) {
                out.append({true, "command longer than 1024 bytes"});
                m_command.clear();
                m_state = TState::Skipping;
            } else {
                m_command += c;
            }
            break;
        case TState::Skipping:
            if (c == '>') {
                m_state = TState::Between;
            } else if (c == '<') {
                m_state = TState::InCommand;
                m_command = "<";
            }
            break;
        }
    }
}
