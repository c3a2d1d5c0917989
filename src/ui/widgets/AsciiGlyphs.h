#pragma once
// Printable ASCII glyphs of one font, looked up once: a short line of such text is then placed
// glyph by glyph by the advances, without being shaped again on every repaint. The receive list
// and the frame monitor's cells repaint several times a second while a line is busy.

#include <QFont>
#include <QRawFont>

#include <array>

class QPainter;
class QString;

class TAsciiGlyphs {
public:
    // The width of `text` in `font`; false when it holds anything but printable ASCII this font
    // has glyphs for (the caller then draws it the general way, which shapes and falls back).
    bool Width(const QFont &font, const QString &text, qreal *width);
    // Draws `text`, for which Width just returned true, from (x, baseline).
    void Draw(QPainter *painter, qreal x, qreal baseline, const QString &text) const;

private:
    void Load(const QFont &font);

    bool m_ready = false;
    QFont m_font;
    QRawFont m_raw;
    std::array<quint32, 128> m_glyph{};
    std::array<qreal, 128> m_advance{};
};
