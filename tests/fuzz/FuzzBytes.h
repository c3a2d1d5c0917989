#pragma once
// Takes a fuzz input apart front to back: small numbers for choices, then counted chunks.
// Running past the end gives zeros and empty chunks, so every input is a valid script.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzBytes {
public:
    FuzzBytes(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }

    uint8_t byte()
    {
        return m_pos < m_size ? m_data[m_pos++] : 0;
    }

    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }

    // A chunk of up to `max` bytes, its length taken from the next byte.
    QByteArray chunk(size_t max = 255)
    {
        size_t n = byte();
        if (n > max)
            n = max;
        return take(n);
    }

    // Everything that is left.
    QByteArray rest() { return take(m_size - m_pos); }

private:
    QByteArray take(size_t n)
    {
        if (n > m_size - m_pos)
            n = m_size - m_pos;
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken invariant: say which and abort, so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond, ...)                                                       \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", __FILE__,      \
                         __LINE__, #cond);                                          \
            std::fprintf(stderr, "  " __VA_ARGS__);                                 \
            std::fputc('\n', stderr);                                               \
            std::abort();                                                           \
        }                                                                           \
    } while (0)
