#include "transmit/TransmitList.h"

#include "protocol/VersionedJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace TransmitLists {

namespace {

const QString kFormat = QStringLiteral("k3316-transmit");
constexpr int kVersion = 1;
const QStringList kKeys = {"enabled", "name", "id", "extended", "remote", "dlc", "data", "period_ms", "count", "counter",
                           "message", "signals"};
const QStringList kCounterKeys = {"start_bit", "length", "step", "signal"};
// Keys a database message decides; a row that names one leaves them out.
const QStringList kFromDatabase = {"id", "extended", "dlc"};

// A JSON number that is a whole number within [low, high].
bool WholeNumber(const QJsonValue &v, double low, double high, int64_t &out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!(d >= low && d <= high) || std::floor(d) != d)
        return false;
    out = int64_t(d);
    return true;
}

class TRowReader {
public:
    TRowReader(const QJsonObject &o, int index, QStringList &problems) : m_o(o), m_problems(problems)
    {
        m_prefix = QStringLiteral("messages[%1].").arg(index);
    }

    void Problem(const QString &key, const QString &what) { m_problems << m_prefix + key + QStringLiteral(": ") + what; }

    bool Flag(const char *key, bool &out)
    {
        const QJsonValue v = m_o.value(QLatin1String(key));
        if (v.isUndefined())
            Problem(QLatin1String(key), QStringLiteral("missing"));
        else if (!v.isBool())
            Problem(QLatin1String(key), QStringLiteral("must be true or false"));
        else {
            out = v.toBool();
            return true;
        }
        return false;
    }

    bool Text(const char *key, QString &out, bool optional = false)
    {
        const QJsonValue v = m_o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (!optional)
                Problem(QLatin1String(key), QStringLiteral("missing"));
            return optional;
        }
        if (!v.isString()) {
            Problem(QLatin1String(key), QStringLiteral("must be a text"));
            return false;
        }
        out = v.toString();
        return true;
    }

    bool Number(const QJsonObject &o, const QString &key, const QString &name, double low, double high, int64_t &out)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            Problem(name, QStringLiteral("missing"));
        else if (!WholeNumber(v, low, high, out))
            Problem(name, v.isDouble() && std::floor(v.toDouble()) == v.toDouble()
                              ? QStringLiteral("must be a whole number from %1 to %2")
                                    .arg(QString::number(low, 'f', 0), QString::number(high, 'f', 0))
                              : QStringLiteral("must be a whole number"));
        else
            return true;
        return false;
    }

    // period_ms and count, checked by the rules of the list's cells.
    void Period(TTransmitRow &row)
    {
        int64_t n = 0;
        if (!Number(m_o, QStringLiteral("period_ms"), QStringLiteral("period_ms"), -1e15, 1e15, n))
            return;
        if (const QString p = TransmitRows::CheckPeriod(n); !p.isEmpty())
            Problem(QStringLiteral("period_ms"), p);
        else
            row.PeriodMs = int(n);
    }
    void Count(TTransmitRow &row)
    {
        int64_t n = 0;
        if (!Number(m_o, QStringLiteral("count"), QStringLiteral("count"), -1e15, 1e15, n))
            return;
        if (const QString p = TransmitRows::CheckCount(n); !p.isEmpty())
            Problem(QStringLiteral("count"), p);
        else
            row.Count = n;
    }

    const QJsonObject &Object() const { return m_o; }

private:
    const QJsonObject &m_o;
    QStringList &m_problems;
    QString m_prefix;
};

void ReadSignals(TRowReader &r, const QJsonValue &v, TTransmitRow &row)
{
    if (v.isUndefined())
        return;
    if (!v.isObject()) {
        r.Problem(QStringLiteral("signals"), QStringLiteral("must be an object of signal names and numbers"));
        return;
    }
    const QJsonObject so = v.toObject();
    for (auto it = so.begin(); it != so.end(); ++it) {
        if (!it.value().isDouble())
            r.Problem(QStringLiteral("signals.") + it.key(), QStringLiteral("must be a number"));
        else
            row.Signals.insert(it.key(), it.value().toDouble());
    }
}

// A row naming a database message: the database fills in what is left out (TransmitDbc).
void ReadMessageRow(TRowReader &r, const QJsonObject &o, int, QList<TTransmitRow> &rows, TTransmitRow &row)
{
    if (row.Message.isEmpty())
        r.Problem(QStringLiteral("message"), QStringLiteral("must name a message"));
    row.Id.clear();
    if (o.contains(QStringLiteral("remote")))
        r.Flag("remote", row.Remote);
    if (o.contains(QStringLiteral("data"))) {
        QString data;
        if (!row.Signals.isEmpty())
            r.Problem(QStringLiteral("data"), QStringLiteral("left out when signal values are given"));
        else if (r.Text("data", data))
            if (const QString p = TransmitRows::CheckData(data, 8, row.Data); !p.isEmpty())
                r.Problem(QStringLiteral("data"), p);
    }
    row.PeriodMs = -1; // the database's cycle time, or on demand
    if (o.contains(QStringLiteral("period_ms")))
        r.Period(row);
    r.Count(row);
    if (const QJsonValue c = o.value(QStringLiteral("counter")); !c.isUndefined()) {
        const QJsonObject co = c.toObject();
        int64_t step = 0;
        if (!c.isObject() || !co.value(QStringLiteral("signal")).isString() || co.size() != 2 ||
            !co.contains(QStringLiteral("step")))
            r.Problem(QStringLiteral("counter"), QStringLiteral("with a message: an object with signal and step"));
        else if (r.Number(co, QStringLiteral("step"), QStringLiteral("counter.step"), -2147483648.0, 2147483647.0, step)) {
            TTransmitCounter counter;
            counter.Signal = co.value(QStringLiteral("signal")).toString();
            counter.Step = step;
            row.Counter = counter;
        }
    }
    rows << row;
}

void ReadRow(const QJsonObject &o, int index, QList<TTransmitRow> &rows, QStringList &problems)
{
    TRowReader r(o, index, problems);
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!kKeys.contains(it.key()))
            r.Problem(it.key(), QStringLiteral("unknown key; the keys are %1").arg(kKeys.join(QStringLiteral(", "))));

    TTransmitRow row;
    r.Flag("enabled", row.Enabled);
    r.Text("name", row.Name, true);
    r.Text("message", row.Message, true);
    const bool fromDatabase = o.contains(QStringLiteral("message"));
    if (fromDatabase) {
        for (const QString &key : kFromDatabase)
            if (o.contains(key))
                r.Problem(key, QStringLiteral("left out when a message is named: the database gives it"));
        ReadSignals(r, o.value(QStringLiteral("signals")), row);
        ReadMessageRow(r, o, index, rows, row);
        return;
    }
    if (o.contains(QStringLiteral("signals")))
        r.Problem(QStringLiteral("signals"), QStringLiteral("only with a message of a database"));
    const bool id = r.Text("id", row.Id);
    const bool extended = r.Flag("extended", row.Extended);
    r.Flag("remote", row.Remote);
    int64_t n = 0;
    bool dlc = r.Number(o, QStringLiteral("dlc"), QStringLiteral("dlc"), -1e15, 1e15, n);
    if (dlc) {
        if (const QString p = TransmitRows::CheckDlc(int(std::clamp<int64_t>(n, -1, 9))); !p.isEmpty()) {
            r.Problem(QStringLiteral("dlc"), p);
            dlc = false;
        } else
            row.Dlc = int(n);
    }
    if (id && extended)
        if (const QString p = TransmitRows::CheckId(row.Id, row.Extended); !p.isEmpty())
            r.Problem(QStringLiteral("id"), p);
    QString data;
    if (r.Text("data", data) && dlc)
        if (const QString p = TransmitRows::CheckData(data, row.Dlc, row.Data); !p.isEmpty())
            r.Problem(QStringLiteral("data"), p);
    r.Period(row);
    r.Count(row);
    if (const QJsonValue c = o.value(QStringLiteral("counter")); !c.isUndefined()) {
        if (!c.isObject()) {
            r.Problem(QStringLiteral("counter"), QStringLiteral("must be an object with start_bit, length and step"));
        } else {
            const QJsonObject co = c.toObject();
            for (auto it = co.begin(); it != co.end(); ++it)
                if (!kCounterKeys.contains(it.key()))
                    r.Problem(QStringLiteral("counter.") + it.key(),
                              QStringLiteral("unknown key; the keys are %1").arg(kCounterKeys.join(QStringLiteral(", "))));
            TTransmitCounter counter;
            int64_t start = 0, length = 0, step = 0;
            if (co.contains(QStringLiteral("signal")))
                r.Problem(QStringLiteral("counter.signal"), QStringLiteral("only with a message of a database"));
            // Each key is checked, so one reading names every wrong key at once.
            const bool startOk = r.Number(co, QStringLiteral("start_bit"), QStringLiteral("counter.start_bit"), 0, 63, start);
            const bool lengthOk = r.Number(co, QStringLiteral("length"), QStringLiteral("counter.length"), 1, 64, length);
            const bool stepOk =
                r.Number(co, QStringLiteral("step"), QStringLiteral("counter.step"), -2147483648.0, 2147483647.0, step);
            if (startOk && lengthOk && stepOk) {
                counter = {int(start), int(length), step};
                row.Counter = counter;
                if (dlc)
                    if (const QString p = TransmitRows::CheckCounter(counter, row.Dlc, row.Remote); !p.isEmpty())
                        r.Problem(QStringLiteral("counter"), p);
            }
        }
    }
    rows << row;
}

} // namespace

bool ParseTransmitList(const QByteArray &json, QList<TTransmitRow> &rows, QStringList &problems)
{
    problems.clear();
    QJsonObject top;
    if (!OpenVersionedJson(json, QStringLiteral("a transmit list"), kFormat, kVersion, top, problems))
        return false;
    for (auto it = top.begin(); it != top.end(); ++it)
        if (it.key() != QLatin1String("format") && it.key() != QLatin1String("version") &&
            it.key() != QLatin1String("messages"))
            problems << QStringLiteral("%1: unknown key; the keys are format, version, messages").arg(it.key());
    const QJsonValue messages = top.value(QStringLiteral("messages"));
    QList<TTransmitRow> out;
    if (messages.isUndefined())
        problems << QStringLiteral("messages: missing");
    else if (!messages.isArray())
        problems << QStringLiteral("messages: must be a list of messages");
    else {
        const QJsonArray list = messages.toArray();
        for (int i = 0; i < list.size(); ++i) {
            if (!list[i].isObject())
                problems << QStringLiteral("messages[%1]: must be an object").arg(i);
            else
                ReadRow(list[i].toObject(), i, out, problems);
        }
    }
    if (!problems.isEmpty())
        return false;
    rows = out;
    return true;
}

QByteArray WriteTransmitList(const QList<TTransmitRow> &rows)
{
    // Written by hand, so the keys keep the documented order and each message stays on one line.
    QByteArray text = "{\n    \"format\": \"k3316-transmit\",\n    \"version\": 1,\n    \"messages\": [";
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const TTransmitRow &r = rows[i];
        auto str = [](const QString &s) {
            return QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
        };
        QByteArray m = "{\"enabled\": " + QByteArray(r.Enabled ? "true" : "false");
        if (!r.Name.isEmpty())
            m += ", \"name\": " + str(r.Name);
        if (!r.Message.isEmpty()) {
            m += ", \"message\": " + str(r.Message) + ", \"remote\": " + (r.Remote ? "true" : "false");
            if (!r.Signals.isEmpty()) {
                QJsonObject values;
                for (auto it = r.Signals.cbegin(); it != r.Signals.cend(); ++it)
                    values.insert(it.key(), it.value());
                m += ", \"signals\": " + QJsonDocument(values).toJson(QJsonDocument::Compact);
            } else {
                m += ", \"data\": \"" + r.Data.toHex().toUpper() + "\"";
            }
            if (r.PeriodMs >= 0)
                m += ", \"period_ms\": " + QByteArray::number(r.PeriodMs);
            m += ", \"count\": " + QByteArray::number(qlonglong(r.Count));
            if (r.Counter)
                m += ", \"counter\": {\"signal\": " + str(r.Counter->Signal) +
                     ", \"step\": " + QByteArray::number(qlonglong(r.Counter->Step)) + "}";
            text += (i ? ",\n        " : "\n        ") + m + "}";
            continue;
        }
        m += ", \"id\": " + str(r.Id) + ", \"extended\": " + (r.Extended ? "true" : "false") +
             ", \"remote\": " + (r.Remote ? "true" : "false") + ", \"dlc\": " + QByteArray::number(r.Dlc) +
             ", \"data\": \"" + r.Data.toHex().toUpper() + "\", \"period_ms\": " + QByteArray::number(r.PeriodMs) +
             ", \"count\": " + QByteArray::number(qlonglong(r.Count));
        if (r.Counter)
            m += ", \"counter\": {\"start_bit\": " + QByteArray::number(r.Counter->StartBit) +
                 ", \"length\": " + QByteArray::number(r.Counter->Length) +
                 ", \"step\": " + QByteArray::number(qlonglong(r.Counter->Step)) + "}";
        m += "}";
        text += (i ? ",\n        " : "\n        ") + m;
    }
    text += rows.isEmpty() ? "]\n}\n" : "\n    ]\n}\n";
    return text;
}

} // namespace TransmitLists
