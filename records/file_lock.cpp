#include "records/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace quarn::records {

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

FileLock::Result FileLock::acquire(const QString& path, bool wait, QString* why) {
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

}  // namespace quarn::records
