#include "cli/StdOut.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int g_error = 0; // errno of the first failed write

} // namespace

bool StdOut::Write(const QByteArray &bytes)
{
    if (g_error != 0)
        return false;
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    if (written != size_t(bytes.size()) || std::fflush(stdout) != 0) {
        g_error = errno != 0 ? errno : EIO;
        std::clearerr(stdout);
        return false;
    }
    return true;
}

bool StdOut::Failed()
{
    return g_error != 0;
}

QString StdOut::Problem()
{
    return QStringLiteral("cannot write standard output: %1").arg(QString::fromLocal8Bit(std::strerror(g_error)));
}
