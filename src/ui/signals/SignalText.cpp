#include "ui/signals/SignalText.h"

#include "dbc/SignalCsv.h"

#include <algorithm>

QString SignalValueString(double value)
{
    return QString::fromLatin1(SignalValueText(value));
}

QString SignalsLine(const QVector<TDecodedSignal> &decoded)
{
    QString out;
    for (const TDecodedSignal &s : decoded) {
        if (!out.isEmpty())
            out += QLatin1String("  ");
        out += s.Signal->Name + QLatin1Char('=');
        if (!s.Present) {
            out += QLatin1Char('?');
            continue;
        }
        out += SignalValueString(s.Value);
        if (!s.Signal->Unit.isEmpty())
            out += QLatin1Char(' ') + s.Signal->Unit;
        if (!s.Text.isEmpty())
            out += QStringLiteral(" (%1)").arg(s.Text);
    }
    return out;
}

std::vector<uint64_t> IdsNamedLike(const TDbcDatabase &database, const QString &text)
{
    std::vector<uint64_t> ids;
    if (text.isEmpty())
        return ids;
    for (const TDbcMessage *m : database.Messages()) {
        bool named = m->Name.contains(text, Qt::CaseInsensitive);
        for (qsizetype i = 0; !named && i < m->Signals.size(); ++i)
            named = m->Signals[i].Name.contains(text, Qt::CaseInsensitive);
        if (named)
            ids.push_back(IdKey(m->Id, m->Extended));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}
