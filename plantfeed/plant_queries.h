#pragma once
// The figures of the plant's view, from the database, without a window: one
// tile per station, first-pass yield per hour per station, the failures by
// cause (a Pareto), and every socket's failures with the slot rule's verdict
// (record/slot_flags.h). Every figure counts the rows the filter takes.
// First-pass yield is the one rule of record/first_pass.h (the trigger-kept
// first_pass column), so a tile equals `quarn-records report --by station
// --since TODAY` over the same rows.
//
// Blocking; runs on the calling thread over the connection given (a worker
// thread's own). On an error the view's error says why and problem what it
// means (pg/connection.h); the figures are then empty.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include "plantfeed/plant_view.h"

namespace quarn::plantfeed {

// Every figure of the request: the whole hours of its period from the
// summary tables the server keeps as records arrive, the part hours at its
// edges and the tiles' last hour, last record and last failure from
// quarn_sessions through its indexes (figures/summary_split.h); so a read
// costs what it shows, not what the table holds. With `previous` (read with
// the same filter) and a valid changedFrom (the earliest start of the rows
// inserted since: a NOTIFY's payload), the charts' figures are read again
// only from that UTC day on and merged with previous's of the days before:
// a push's new rows, and the first_pass the trigger changed (always on
// sessions started no earlier than the new rows), lie in those days.
// With `open`, a read of every day reads causes and sockets each on a
// connection of its own, made by `open` on a thread of its own (a
// connection serves only the thread that made it), and closed when read;
// one the server will not give reads on db after the rest. The figures are
// the same either way.
PlantView queryPlantView(QSqlDatabase& db, const PlantRequest& request,
                         const PlantView* previous = nullptr,
                         const QDateTime& changedFrom = QDateTime(),
                         const ConnectionOpener& open = ConnectionOpener());

// "Yield: 97.5 %" style figures as people read them: a share 0..1 as "97.5 %",
// "-" without units.
QString percentText(qint64 part, qint64 whole);

}  // namespace quarn::plantfeed
