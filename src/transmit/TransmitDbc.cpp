#include "transmit/TransmitDbc.h"

#include "common/StrToInt.h"
#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"

#include <QHash>

namespace TransmitDbc {

bool NeedsDatabase(const QList<TTransmitRow> &rows)
{
    for (const TTransmitRow &r : rows)
        if (!r.Message.isEmpty())
            return true;
    return false;
}

bool CanCount(const TDbcSignal &signal)
{
    return signal.LittleEndian && signal.ValueType == TDbcSignal::TValueType::Integer;
}

bool ResolveRows(QList<TTransmitRow> &rows, const TDbcDatabase *database, QStringList &problems, const QString &howToLoad)
{
    problems.clear();
    QList<TTransmitRow> out = rows;
    for (qsizetype i = 0; i < out.size(); ++i) {
        TTransmitRow &r = out[i];
        if (r.Message.isEmpty())
            continue;
        const QString prefix = QStringLiteral("messages[%1].").arg(i);
        auto problem = [&](const QString &key, const QString &what) { problems << prefix + key + QStringLiteral(": ") + what; };
        const TDbcMessage *m = database ? database->FindByName(r.Message) : nullptr;
        if (!database) {
            problem(QStringLiteral("message"), QStringLiteral("names a message of a database: ") + howToLoad);
            continue;
        }
        if (!m) {
            problem(QStringLiteral("message"), QStringLiteral("no message \"%1\" in the database").arg(r.Message));
            continue;
        }
        if (m->Dlc > 8) {
            problem(QStringLiteral("message"), QStringLiteral("%1 has %2 bytes: the module sends at most 8").arg(m->Name).arg(m->Dlc));
            continue;
        }
        r.Id = IntToHex(int32_t(m->Id), m->Extended ? 8 : 3);
        r.Extended = m->Extended;
        r.Dlc = m->Dlc;
        if (r.PeriodMs < 0) {
            // Cut to the longest period, the row would run faster than its message: said instead.
            if (m->CycleTimeMs > TransmitRows::MaxPeriodMs) {
                problem(QStringLiteral("period_ms"),
                        QStringLiteral("%1's GenMsgCycleTime of %2 ms is longer than the longest period, %3 ms: "
                                       "give period_ms")
                            .arg(m->Name)
                            .arg(m->CycleTimeMs)
                            .arg(TransmitRows::MaxPeriodMs));
                continue;
            }
            r.PeriodMs = std::max(m->CycleTimeMs, 0);
        }
        if (!r.Signals.isEmpty()) {
            QHash<QString, double> values;
            for (auto it = r.Signals.cbegin(); it != r.Signals.cend(); ++it)
                values.insert(it.key(), it.value());
            QString error;
            if (!EncodeSignals(*m, values, r.Data, error))
                problem(QStringLiteral("signals"), error);
        }
        if (r.Counter && !r.Counter->Signal.isEmpty()) {
            const TDbcSignal *s = nullptr;
            for (const TDbcSignal &candidate : m->Signals)
                if (candidate.Name == r.Counter->Signal)
                    s = &candidate;
            if (!s)
                problem(QStringLiteral("counter.signal"), QStringLiteral("no signal \"%1\" in %2").arg(r.Counter->Signal, m->Name));
            else if (!CanCount(*s))
                problem(QStringLiteral("counter.signal"), QStringLiteral("%1 is not a little-endian integer signal").arg(s->Name));
            else {
                r.Counter->StartBit = s->StartBit;
                r.Counter->Length = s->Length;
            }
        }
        for (const QString &p : TransmitRows::CheckRow(r))
            problems << prefix + p;
    }
    if (!problems.isEmpty())
        return false;
    rows = out;
    return true;
}

} // namespace TransmitDbc
