#include "recordlog/rejected_lines.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace quarn::recordlog {

namespace {

// True when the file holds an entry for this place and line (the reason may
// have been worded otherwise the first time).
bool kept(QFile& file, const QByteArray& place, const QByteArray& line) {
    if (!file.seek(0)) return false;
    for (QByteArray entry; !(entry = file.readLine()).isEmpty();)
        if (entry.startsWith(place) && entry.endsWith(line)) return true;
    return false;
}

QString cannotWrite(const QString& path, const QString& why) {
    return QCoreApplication::translate("Push", "cannot keep a refused line in %1: %2")
        .arg(path, why);
}

}  // namespace

QString rejectedPath(const QString& logPath) { return logPath + QStringLiteral(".rejected"); }

bool keepRejected(const QString& logPath, const QString& fileName, const QByteArray& line,
                  qint64 number, const QString& reason, QString* why) {
    QFile file(rejectedPath(logPath));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return *why = cannotWrite(file.fileName(), file.errorString()), false;
    const QByteArray place = fileName.toUtf8() + ':' + QByteArray::number(number) + '\t';
    const QByteArray whole = line.endsWith('\n') ? line : line + '\n';
    if (kept(file, place, whole)) return true;
    // The reason on one line, without a tab: the fields stay apart.
    const QByteArray entry = place + reason.simplified().toUtf8() + '\t' + whole;
    if (file.write(entry) != entry.size() || !file.flush())
        return *why = cannotWrite(file.fileName(), file.errorString()), false;
    if (::fdatasync(file.handle()) != 0)
        return *why = cannotWrite(file.fileName(), QString::fromLocal8Bit(std::strerror(errno))),
               false;
    return true;
}

}  // namespace quarn::recordlog
