#include "DemoBus.h"

#include "protocol/CanIdentifier.h"

#include <cmath>
#include <numbers>

namespace Sim {

namespace {

// 0 at the start of each period, 1 half way through, smooth in between.
double wave(uint64_t elapsedMs, double periodMs)
{
    return (1.0 - std::cos(2.0 * std::numbers::pi * double(elapsedMs) / periodMs)) / 2.0;
}

// Physical value to the raw integer of a signal: (value - offset) / factor, rounded.
int64_t raw(double value, double factor, double offset = 0)
{
    return std::llround((value - offset) / factor);
}

// Little-endian (Intel) bit field, as "@1" in the DBC.
void put(QByteArray &data, int startBit, int length, int64_t value)
{
    const uint64_t bits = uint64_t(value) & (length == 64 ? ~0ull : ((1ull << length) - 1));
    for (int i = 0; i < length; ++i)
        if (bits >> i & 1)
            data[(startBit + i) / 8] = char(uint8_t(data[(startBit + i) / 8]) | 1u << ((startBit + i) % 8));
}

void appendHex(QByteArray &out, uint64_t value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += hex[(value >> shift) & 0xF];
}

} // namespace

// Keep in step with examples/demo.dbc.
const DemoBus::Message DemoBus::Messages[MessageCount] = {
    {0x100, false, 20},       // EngineData
    {0x200, false, 50},       // VehicleSpeed
    {0x300, false, 100},      // BodyStatus: counter, doors, lights
    {0x18FF1021, true, 100},  // BatteryStatus
    {0x7A0, false, 1000},     // Ambient
};

QByteArray DemoBus::Data(int index, uint64_t t, uint64_t sent)
{
    QByteArray data(8, '\0');
    switch (index) {
    case 0: { // EngineData
        const double rpm = 800 + 2200 * wave(t, 20000);
        put(data, 0, 16, raw(rpm, 0.25));
        put(data, 16, 8, raw(40 + 50 * wave(t, 60000), 1, -40)); // coolant, warms and cools
        put(data, 24, 8, raw(5 + 45 * wave(t, 20000), 0.4));      // throttle follows the speed
        put(data, 32, 16, raw(rpm / 40.0, 0.1));                  // torque, Nm
        break;
    }
    case 1: { // VehicleSpeed
        const double kmh = 120 * wave(t, 30000);
        put(data, 0, 16, raw(kmh, 0.01));
        put(data, 16, 4, kmh < 1 ? 0 : std::min(6, 1 + int(kmh / 20)));
        put(data, 20, 4, sent % 16);                               // its own rolling counter
        put(data, 24, 32, raw(double(t) * 60 / 3600000, 0.001)); // trip, km at 60 km/h on average
        break;
    }
    case 2: { // BodyStatus
        put(data, 0, 8, sent % 256);
        put(data, 8, 1, (t / 7000) % 2);  // driver door
        put(data, 9, 2, (t / 5000) % 4);  // lights: off, parking, low, high
        put(data, 11, 1, (t / 11000) % 3 == 0);
        break;
    }
    case 3: // BatteryStatus
        put(data, 0, 16, raw(12.6 + 1.6 * wave(t, 40000), 0.001));
        put(data, 16, 16, raw(-20 + 60 * wave(t, 25000), 0.1));   // signed: charging or not
        put(data, 32, 8, raw(20 + 15 * wave(t, 90000), 1, -40));
        put(data, 40, 8, raw(50 + 50 * wave(t, 120000), 0.5));    // state of charge
        break;
    case 4: // Ambient
        put(data, 0, 16, raw(-5 + 30 * wave(t, 300000), 0.1, -50));
        put(data, 16, 16, raw(1003 + 20 * wave(t, 200000), 0.1)); // pressure, hPa
        break;
    }
    return data;
}

int DemoBus::dueIndex() const
{
    int best = 0;
    for (int i = 1; i < MessageCount; ++i)
        if ((m_sent[i] + 1) * uint64_t(Messages[i].periodMs) < (m_sent[best] + 1) * uint64_t(Messages[best].periodMs))
            best = i;
    return best;
}

uint64_t DemoBus::nextDueMs() const
{
    const int i = dueIndex();
    return (m_sent[i] + 1) * uint64_t(Messages[i].periodMs);
}

QByteArray DemoBus::next()
{
    const int i = dueIndex();
    const Message &m = Messages[i];
    const uint64_t t = (m_sent[i] + 1) * uint64_t(m.periodMs);
    const QByteArray data = Data(i, t, m_sent[i]);
    ++m_sent[i];
    QByteArray line(1, m.extended ? 'e' : 't');
    appendHex(line, m.id, CanId::Digits(m.extended));
    line += char('0' + data.size());
    line += data.toHex().toUpper();
    return line;
}

} // namespace Sim
