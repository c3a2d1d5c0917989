#pragma once
// Signals out of a frame's data bytes and back, as a DBC defines them: little-endian (@1) and
// big-endian (@0, start bit = most significant bit in the DBC's sawtooth numbering), signed,
// IEEE floats, multiplexing.

#include "dbc/DbcModel.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

#include <cstdint>

struct TDecodedSignal {
    const TDbcSignal *Signal = nullptr;
    bool Present = true;       // false: the frame is shorter than the signal's bytes (value not set)
    int64_t Raw = 0;           // integer signals: the raw value, sign-extended when Signed
    uint64_t RawBits = 0;      // the bits as read
    double Value = 0;          // physical value: raw * factor + offset (floats: the float's value * factor + offset)
    QString Text;              // value text from VAL_, empty when none
};

// One signal as read from a frame, without copies: what a path through millions of frames needs.
struct TSignalReading {
    int Index = 0;                 // in message.Signals
    bool Present = true;
    int64_t Raw = 0;
    uint64_t RawBits = 0;
    double Value = 0;
    const QString *Text = nullptr; // its value text (in the signal's ValueTexts), or null
};

// The signals present (multiplexing decides which) in `data` of `size` bytes, in the message's
// order, into `out` with room for every signal of the message; returns how many.
qsizetype ReadSignals(const TDbcMessage &message, const uint8_t *data, int size, TSignalReading *out);
// Decodes the signals present (multiplexing decides which) from `data` of `size` bytes.
QVector<TDecodedSignal> DecodeSignals(const TDbcMessage &message, const uint8_t *data, int size);
// Physical values by signal name -> data bytes (message.Dlc bytes). Signals not given: raw 0.
// False with `error` naming the signal and its range when a value is outside [min,max] (when
// min<max) or does not fit its bit length, or a name does not exist.
bool EncodeSignals(const TDbcMessage &message, const QHash<QString, double> &values, QByteArray &data, QString &error);
// SIGNAL=VALUE as typed: a number (C locale), or one of the signal's value texts (VAL_, any case).
// Each signal at most once. A whole number for an integer signal wider than 53 bits (factor 1,
// offset 0) is taken exactly, not through a double. Refusals as EncodeSignals'.
bool EncodeSignalTexts(const TDbcMessage &message, const QList<QPair<QString, QString>> &assignments, QByteArray &data,
                       QString &error);
// Fills message.Layout from message.Signals; call again after changing a signal.
void PrepareLayout(TDbcMessage &message);
// Sets one signal's raw bits inside existing data (used for rolling counters).
void InsertRawBits(const TDbcSignal &signal, uint64_t rawBits, uint8_t *data, int size);
