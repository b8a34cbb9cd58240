#pragma once
// An flock on a file (made when missing), held until the lock is destroyed.
// The kernel lets go when the process dies, so a killed holder never blocks
// the next one.

#include <QString>

namespace quarn::recordlog {

class FileLock {
public:
    enum class Result { Held, Busy, Failed };
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // wait: block until the holder lets go; else Busy at once while it holds.
    // A lock this object held before is let go first.
    Result acquire(const QString& path, bool wait, QString* why);
    // Sets the lock file's times to now, whoever holds it: how a push wakes
    // pushers of the log waiting between their attempts, which watch the
    // file. Nothing is written to it. False with *why when not permitted or
    // missing.
    static bool touch(const QString& path, QString* why);
    // Lets go now (as the destructor does).
    void release();

private:
    int fd_ = -1;
};

}  // namespace quarn::recordlog
