#pragma once
// The SQL of the sockets' figures beyond a report's groups: each socket's
// block repeats, and its sessions since its last service
// (record/slot_flags.h), for `quarn-records report --by slot` and the
// plant; and the service itself (`quarn-records socket-service`).

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "pg/query_run.h"
#include "record/slot_flags.h"

namespace quarn::figures {

// The select list's expression of a socket's repeats over the rows grouped:
// block repeats summed over its sessions that were not interrupted (0 when none).
QString socketRepeatsSql();

// One row per (station, slot) with sessions since its latest service in
// quarn_socket_service (every session when it has none; held records are
// none): station, slot (both '' for NULL), and the count. Sessions without
// a start time count only for a socket never serviced. summaries: the
// count the server keeps per socket (quarn_summary_since_service: one row a
// socket, however long ago the service), else counted from quarn_sessions.
QString sinceServiceSql(bool summaries);

// Each socket's sinceService from the database (0 for a socket with none
// since its service), whatever the period its other figures count
// (summaries: as sinceServiceSql). False with *f when a query fails.
bool readSinceService(QSqlDatabase& db, bool summaries, QList<record::SocketCount>* sockets,
                      pg::QueryFailure* f);
// The same of judged sockets.
bool readSinceService(QSqlDatabase& db, bool summaries, QList<record::SocketVerdict>* sockets,
                      pg::QueryFailure* f);

// Records that the socket was serviced now, by the login; the server's
// login and time of it in *by and *at. False with *f (Denied for lack of
// quarn_engineer's right).
bool recordSocketService(QSqlDatabase& db, const QString& station, const QString& slot,
                         const QString& note, QString* by, QDateTime* at, pg::QueryFailure* f);

}  // namespace quarn::figures
