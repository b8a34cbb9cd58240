#pragma once
// Inside recordlog/: what a report by slot says of each socket beside its
// slot's row (recordlog/report.h states the form), from the report's judged
// sockets.

#include <QJsonObject>
#include <QList>
#include <QString>

#include "record/slot_flags.h"

namespace quarn::recordlog {

// The slot's block repeats per session over its sockets at every station:
// "0.25", "-" without sessions.
QString slotRepeatsCell(const QList<record::SocketVerdict>& sockets, const QString& slot);

// The table of every socket and the line per flag, each line ending "\n".
QString socketsText(const QList<record::SocketVerdict>& sockets);

// The row's "repeats", "repeats_per_session" and "sockets".
void addSocketsJson(QJsonObject* row, const QList<record::SocketVerdict>& sockets,
                    const QString& slot);

}  // namespace quarn::recordlog
