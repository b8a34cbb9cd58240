#pragma once
// Lines of the log the database refused for their data (a value it cannot
// read, a constraint it will not break), kept beside the log in LOG.rejected
// so that one bad line never blocks the records after it and is never lost.
// One entry a line, tab-separated: where the line was ("sessions.jsonl:17",
// the file's name and line number), the server's reason (SQLSTATE and
// message), then the line itself, whole: `cut -f3- LOG.rejected` gives the
// lines back as they were.

#include <QByteArray>
#include <QString>

namespace quarn::recordlog {

// LOG.rejected.
QString rejectedPath(const QString& logPath);

// Appends the entry for line `number` of the file named `fileName` (the log
// or the rotated log), unless that entry is there already (a push stopped
// between keeping a line and recording that it had); on disk before it
// returns. False with *why when it cannot be written.
bool keepRejected(const QString& logPath, const QString& fileName, const QByteArray& line,
                  qint64 number, const QString& reason, QString* why);

}  // namespace quarn::recordlog
