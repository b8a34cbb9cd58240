#include "tests/support/pseudo_terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {
QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
}  // namespace

bool PseudoTerminal::open(QString* why) {
    hangUp();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *why = systemError("no pseudo-terminal");
        hangUp();
        return false;
    }
    slave_ = QString::fromLocal8Bit(::ptsname(master_));
    const int s = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
    if (s < 0) {
        *why = systemError("cannot open the slave side");
        hangUp();
        return false;
    }
    termios t{};
    const bool raw = ::tcgetattr(s, &t) == 0 && (::cfmakeraw(&t), ::tcsetattr(s, TCSANOW, &t) == 0);
    if (!raw) *why = systemError("cannot make the terminal raw");
    ::close(s);
    if (!raw) hangUp();
    return raw;
}

QByteArray PseudoTerminal::readAll() {
    QByteArray out;
    if (master_ < 0) return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<qsizetype>(n));
    }
    return out;
}

bool PseudoTerminal::write(const QByteArray& bytes) {
    if (master_ < 0) return false;
    if (bytes.isEmpty()) return true;
    return ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

void PseudoTerminal::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

}  // namespace testsupport
