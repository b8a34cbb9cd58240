#include "recordlog/sent_mark.h"

#include <QCoreApplication>

#include "recordlog/file_lock.h"
#include "recordlog/log_files.h"

namespace quarn::recordlog {

QString pushLockPath(const QString& logPath) { return logPath + QStringLiteral(".lock"); }

QString handedText(const QString& logPath) {
    return QCoreApplication::translate("Push",
                                       "another push of %1 is running; it sends these records")
        .arg(logPath);
}

bool pushRunning(const QString& logPath) {
    FileLock lock;
    QString why;
    return lock.acquire(pushLockPath(logPath), false, &why) == FileLock::Result::Busy;
}

qint64 pendingCount(const QString& logPath) { return pendingLines(logPath); }

}  // namespace quarn::recordlog
