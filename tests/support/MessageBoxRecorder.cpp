#include "support/MessageBoxRecorder.h"

MessageBoxRecorder::MessageBoxRecorder()
{
    SetMessageBoxHandler([this](TMsgType type, const QString &text, TMsgButtons buttons) {
        RecordedBox box{type, text, buttons};
        boxes.append(box);
        if (onBox)
            onBox(box);
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        switch (buttons) {
        case TMsgButtons::Ok: return TMsgAnswer::Ok;
        case TMsgButtons::YesNo: return TMsgAnswer::Yes;
        case TMsgButtons::OkCancel: return TMsgAnswer::Ok;
        case TMsgButtons::AbortRetry: return TMsgAnswer::Abort;
        }
        return TMsgAnswer::None;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHandler({});
}

void MessageBoxRecorder::queueAnswer(TMsgAnswer answer)
{
    m_answers.append(answer);
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList out;
    for (const RecordedBox &b : boxes)
        out << b.text;
    return out;
}
