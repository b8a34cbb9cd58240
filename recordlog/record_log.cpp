#include "recordlog/record_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn::recordlog {

namespace {

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The folder and its parents, as mkdir -p does; 0 or the system's error.
int makeFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) return 0;
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        if (::mkdir(path.left(i).constData(), 0755) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

}  // namespace

RecordLog::~RecordLog() { closeFile(); }

bool RecordLog::open(const QString& path, QString* why, QString* warning) {
    closeFile();
    path_ = path;
    opened_ = false;
    if (!openLocked(why)) return false;
    if (::flock(fd_, LOCK_UN) != 0) {
        fail(why, errno);
        closeFile();
        return false;
    }
    opened_ = true;
    if (warning) *warning = warning_;
    return true;
}

bool RecordLog::append(const QByteArray& line, QString* why) {
    if (!opened_) return fail(why, EBADF);
    // A failed follow or open leaves no descriptor: the next append starts afresh.
    if (fd_ >= 0 ? !(lock(why) && followPath(why)) : !openLocked(why)) {
        closeFile();
        return false;
    }
    const bool written = writeLine(line, why);
    if (::flock(fd_, LOCK_UN) != 0) {
        if (written) fail(why, errno);
        closeFile();  // closing lets go of the lock all the same
        return false;
    }
    return written;
}

// Opens the path (its folder and the file made when missing), locks it and
// repairs a cut last line. The file stays locked for the caller; on failure
// no descriptor is left.
bool RecordLog::openLocked(QString* why) {
    warning_.clear();
    const QString folder = QFileInfo(path_).absolutePath();
    if (const int error = makeFolder(folder)) {
        *why = QCoreApplication::translate(
                   "RecordLog", "cannot write the log %1: its folder cannot be made (%2)")
                   .arg(path_, reason(error));
        return false;
    }
    fd_ =
        ::open(QFile::encodeName(path_).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return fail(why, errno);
    if (lock(why) && repairTail(why)) return true;
    closeFile();
    return false;
}

// With the lock held: the file at the path is still the one open, or the
// path is opened (and locked) again. The moved file is let go of.
bool RecordLog::followPath(QString* why) {
    struct stat held {};
    struct stat atPath {};
    if (::fstat(fd_, &held) != 0) return fail(why, errno);
    if (::stat(QFile::encodeName(path_).constData(), &atPath) == 0) {
        if (atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino) return true;
    } else if (errno != ENOENT) {
        return fail(why, errno);
    }
    closeFile();
    return openLocked(why);
}

// With the lock held, so no other writer is halfway through a line: a last
// line without its newline was cut short by a crash; a newline ends it.
bool RecordLog::repairTail(QString* why) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(why, errno);
    if (!S_ISREG(st.st_mode) || st.st_size == 0) return true;
    char last = 0;
    const ssize_t n = ::pread(fd_, &last, 1, st.st_size - 1);
    if (n < 0) return fail(why, errno);
    if (n == 0 || last == '\n') return true;
    qint64 lines = 0;
    if (!countLines(st.st_size, &lines, why) || !writeLine(QByteArrayLiteral("\n"), why))
        return false;
    warning_ = QCoreApplication::translate(
                   "RecordLog",
                   "line %1 of %2 was cut short (power lost?); it is kept as it is and skipped by "
                   "the push")
                   .arg(lines + 1)
                   .arg(path_);
    return true;
}

// The newlines in the first size bytes.
bool RecordLog::countLines(qint64 size, qint64* lines, QString* why) const {
    char buf[65536];
    for (qint64 at = 0; at < size;) {
        const ssize_t n = ::pread(fd_, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(why, errno);
        if (n == 0) break;
        *lines += std::count(buf, buf + n, '\n');
        at += n;
    }
    return true;
}

// With the lock held: the line in one write, flushed to disk; a short write
// cut back to the size before it, which no other writer can have changed.
bool RecordLog::writeLine(const QByteArray& line, QString* why) {
    struct stat before {};
    if (::fstat(fd_, &before) != 0) return fail(why, errno);
    beforeWrite();
    ssize_t n;
    do {
        n = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    } while (n < 0 && errno == EINTR);
    if (n != line.size()) {
        // Half a line would glue the next record onto it: cut it off again.
        const int error = n < 0 ? errno : ENOSPC;
        if (n > 0 && ::ftruncate(fd_, before.st_size) != 0) return fail(why, errno);
        return fail(why, error);
    }
    if (::fdatasync(fd_) != 0) return fail(why, errno);
    return true;
}

bool RecordLog::lock(QString* why) {
    int r;
    do {
        r = ::flock(fd_, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    return r == 0 || fail(why, errno);
}

void RecordLog::closeFile() {
    // Every line written was flushed by fdatasync already: close has nothing
    // left to report that a caller could act on.
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = -1;
}

bool RecordLog::fail(QString* why, int error) const {
    *why = QCoreApplication::translate("RecordLog", "cannot write the log %1: %2")
               .arg(path_, reason(error));
    return false;
}

}  // namespace quarn::recordlog
