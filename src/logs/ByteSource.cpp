#include "logs/ByteSource.h"

#include "common/InputFile.h"

bool TByteSource::Fill(qsizetype n)
{
    if (m_buf.size() - m_pos >= n)
        return true;
    if (m_pos > 0) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
    while (m_buf.size() < n && !m_eof) {
        const qsizetype have = m_buf.size();
        const qsizetype want = std::max(BlockBytes, n - have);
        m_buf.resize(have + want);
        // One read gives what a pipe holds now: the first frames go on before the writer is done.
        const qint64 got = m_input ? m_input->Read(m_buf.data() + have, want) : 0;
        if (got <= 0) {
            m_buf.resize(have);
            if (got < 0)
                m_error = m_input->Problem();
            m_eof = true;
            break;
        }
        m_buf.resize(have + got);
    }
    return m_buf.size() - m_pos >= n;
}

QByteArrayView TByteSource::Peek(qsizetype n)
{
    Fill(n);
    return QByteArrayView(m_buf).sliced(m_pos, std::min(n, m_buf.size() - m_pos));
}

bool TByteSource::ReadLine(QByteArrayView &line)
{
    qsizetype searched = 0;
    for (;;) {
        const QByteArrayView have = QByteArrayView(m_buf).sliced(m_pos);
        const qsizetype lf = have.sliced(searched).indexOf('\n');
        if (lf >= 0) {
            const qsizetype end = searched + lf;
            line = have.first(end);
            if (line.endsWith('\r'))
                line.chop(1);
            m_pos += end + 1;
            m_offset += end + 1;
            return true;
        }
        searched = have.size();
        if (have.size() > LineLimit) {
            m_error = QStringLiteral("a line longer than %1 bytes").arg(LineLimit);
            return false;
        }
        if (!Fill(have.size() + 1)) {
            if (have.isEmpty())
                return false;
            // The last line without its end.
            line = QByteArrayView(m_buf).sliced(m_pos);
            if (line.endsWith('\r'))
                line.chop(1);
            m_offset += m_buf.size() - m_pos;
            m_pos = m_buf.size();
            return true;
        }
    }
}

bool TByteSource::Read(qsizetype n, QByteArrayView &out)
{
    if (n < 0 || !Fill(n))
        return false;
    out = QByteArrayView(m_buf).sliced(m_pos, n);
    m_pos += n;
    m_offset += n;
    return true;
}

bool TByteSource::Skip(qint64 n)
{
    while (n > 0) {
        const qsizetype step = qsizetype(std::min<qint64>(n, BlockBytes));
        QByteArrayView ignored;
        if (!Read(step, ignored))
            return false;
        n -= step;
    }
    return true;
}

bool TByteSource::AtEnd()
{
    return !Fill(1);
}
