#include "logs/LogFrameRow.h"

#include <cstring>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

} // namespace

bool LogFrameToRow(const TLogFrame &f, QByteArray &text, TFrameRow &row, bool withText)
{
    if (f.Fd || f.Error || f.Data.size() > 8)
        return false;
    TDecodedLine &d = row.decoded;
    d = TDecodedLine();
    d.kind = f.Extended ? (f.Remote ? TFrameKind::ExtendedRemote : TFrameKind::ExtendedData)
                        : (f.Remote ? TFrameKind::StandardRemote : TFrameKind::StandardData);
    d.id = f.Id;
    // A classic length code above 8 still carries 8 bytes: the module's line has one digit to 8.
    d.dlc = uint8_t(std::min<int>(f.Dlc, 8));
    if (!f.Remote && f.Data.size() < d.dlc)
        d.dlc = uint8_t(f.Data.size());
    const qsizetype bytes = std::min<qsizetype>(f.Data.size(), 8);
    for (qsizetype i = 0; i < bytes; ++i) // at most 8: a loop the compiler unrolls, not a call
        d.data[i] = uint8_t(f.Data.constData()[i]);
    row.timeUs = f.TimeUs;
    row.raw = QByteArrayView();
    row.terminated = true;
    if (!withText) {
        row.text = QByteArrayView();
        return true;
    }
    // Written into a buffer at once: a conversion of a million frames spends its time here.
    char line[32];
    char *p = line;
    *p++ = f.Remote ? (f.Extended ? 'E' : 'T') : (f.Extended ? 'e' : 't');
    for (int shift = (f.Extended ? 28 : 8); shift >= 0; shift -= 4)
        *p++ = hexDigits[(f.Id >> shift) & 0xF];
    *p++ = char('0' + d.dlc);
    if (!f.Remote)
        for (int i = 0; i < d.dlc; ++i) {
            *p++ = hexDigits[d.data[i] >> 4];
            *p++ = hexDigits[d.data[i] & 0xF];
        }
    text.resize(p - line);
    std::memcpy(text.data(), line, size_t(p - line));
    row.text = QByteArrayView(text);
    return true;
}
