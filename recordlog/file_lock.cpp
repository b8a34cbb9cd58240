#include "recordlog/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace quarn::recordlog {

FileLock::~FileLock() { release(); }

void FileLock::release() {
    if (fd_ < 0) return;
    // The flock goes with the descriptor whatever close() reports, and
    // nothing is ever written to a lock file: no error here can lose data.
    const int rc = ::close(fd_);
    static_cast<void>(rc);
    fd_ = -1;
}

FileLock::Result FileLock::acquire(const QString& path, bool wait, QString* why) {
    release();
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    int rc = fd_ < 0 ? -1 : 0;
    while (rc == 0 && (rc = ::flock(fd_, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 &&
           errno == EINTR)
        rc = 0;
    if (rc == 0) return Result::Held;
    if (fd_ >= 0 && errno == EWOULDBLOCK) return Result::Busy;
    *why = QStringLiteral("cannot lock %1: %2")
               .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return Result::Failed;
}

bool FileLock::touch(const QString& path, QString* why) {
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0) == 0) return true;
    *why = QStringLiteral("cannot wake the pushes waiting on %1: %2")
               .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

}  // namespace quarn::recordlog
