#include "recordlog/sent_mark.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QSaveFile>

#include "recordlog/file_lock.h"

namespace quarn::records {

namespace {

QString sentPath(const QString& logPath) { return logPath + QStringLiteral(".sent"); }
// The name logrotate gives the log it moves aside.
QString rotatedPath(const QString& logPath) { return logPath + QStringLiteral(".1"); }

}  // namespace

QByteArray fileIdentity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

SentMark readSentMark(const QString& logPath) {
    QFile f(sentPath(logPath));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> parts = f.readLine().trimmed().split(' ');
    if (parts.size() != 3) return {};
    const LogPosition p{parts[0].toLongLong(), parts[1].toLongLong()};
    if (p.offset < 0 || p.line < 0) return {};
    return {p, parts[2]};
}

QString rotatedRemainder(const QString& logPath, const SentMark& mark) {
    if (mark.identity.isEmpty() || mark.identity == fileIdentity(logPath)) return QString();
    const QString rotated = rotatedPath(logPath);
    return fileIdentity(rotated) == mark.identity ? rotated : QString();
}

bool saveSentMark(const QString& logPath, const QByteArray& file, LogPosition p, QString* why) {
    QSaveFile f(sentPath(logPath));
    const QByteArray text =
        QByteArray::number(p.offset) + ' ' + QByteArray::number(p.line) + ' ' + file + '\n';
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = QCoreApplication::translate("Push", "cannot record how far %1 is sent: %2")
               .arg(logPath, f.errorString());
    return false;
}

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

LogPosition sentPosition(const QString& logPath) {
    const SentMark mark = readSentMark(logPath);
    return mark.identity == fileIdentity(logPath) ? mark.position : LogPosition{};
}

qint64 pendingCount(const QString& logPath) {
    const SentMark mark = readSentMark(logPath);
    const QString rotated = rotatedRemainder(logPath, mark);
    const qint64 before = rotated.isEmpty() ? 0 : countLinesAfter(rotated, mark.position);
    return before + countLinesAfter(logPath, sentPosition(logPath));
}

}  // namespace quarn::records
