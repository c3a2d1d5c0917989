#pragma once
// Records every message box the program shows and answers it, instead of showing it.

#include "ui/dialogs/Dialogs.h"

#include <QList>
#include <QString>
#include <functional>

struct RecordedBox {
    TMsgType type;
    QString text;
    TMsgButtons buttons;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder();  // installs itself as the message-box handler
    ~MessageBoxRecorder(); // restores the real boxes

    // Answers for the next boxes, in order; when none is queued a box gets its first button
    // (OK, Yes, OK, Abort).
    void queueAnswer(TMsgAnswer answer);

    QList<RecordedBox> boxes;
    QStringList texts() const;

    // Called for each box before it is answered (for example to check state at that moment).
    std::function<void(const RecordedBox &)> onBox;

private:
    QList<TMsgAnswer> m_answers;
};
