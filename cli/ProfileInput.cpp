#include "cli/ProfileInput.h"

#include "cli/Interrupt.h"
#include "common/InputFile.h"

TProfileInput ReadProfileInput(const QString &name, TInterrupt *interrupt, QByteArray &bytes, QString &problem)
{
    switch (ReadInputFile(name, TInputKind::Profile, bytes, problem, interrupt)) {
    case TInputResult::Read: return TProfileInput::Read;
    case TInputResult::Refused: return TProfileInput::Refused;
    case TInputResult::Interrupted:
        problem = interrupt ? interrupt->Word() : problem;
        return TProfileInput::Interrupted;
    }
    return TProfileInput::Refused;
}
