#pragma once
// src/common: small pieces every layer shares (the integer conversion, hex and byte escapes,
// safe saving, the version). Uses Qt Core only; everything else may use it.
//
// The standard integer conversion used by every text field of the program.

#include <QString>
#include <cstdint>
#include <stdexcept>

// Raised when a text is not a valid integer; what() carries the user-facing message.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Leading blanks, optional sign, then decimal digits, or "$", "x", "X", "0x", "0X" and at most
// eight significant hexadecimal digits (the top bit set gives a negative number).
// Nothing may follow the digits. Throws EConvertError("'<text>' is not a valid integer value").
int32_t StrToInt(const QString &text);

// Same rules without the exception.
bool TryStrToInt(const QString &text, int32_t &value);

// Plain decimal, "-" for negatives.
QString IntToStr(int32_t value);

// Upper-case hexadecimal of the 32-bit two's-complement pattern, zero-padded to at least
// `digits` digits (more when the number needs them; negatives give eight).
QString IntToHex(int32_t value, int digits);
