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
// means (database/connection.h); the figures are then empty.

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "database/connection.h"
#include "database/socket_sql.h"
#include "record/slot_flags.h"
#include "recordlog/record_filter.h"

namespace quarn::plant {

// The records' types the figures are made of.
using records::Connection;
using records::Problem;
using records::RecordFilter;
using records::SocketCount;
using records::SocketVerdict;

struct PlantRequest {
    RecordFilter filter;
    QDateTime now;  // the clock the tiles' hour and day count from
    // The start of today (the tiles' good, failed and first-pass yield
    // count from it; also the period's start when that is later).
    QDateTime today;
    qint64 socketLife = 0;  // sockets past it are due for service (0: none is)
};

struct StationTile {
    QString station;
    qint64 lastHour = 0;  // sessions started in the hour before now
    qint64 goodToday = 0;
    qint64 failedToday = 0;  // every outcome but good, as the report's failed
    qint64 unitsToday = 0;   // first-pass units decided today
    qint64 firstPassGoodToday = 0;
    qint64 secondPassGoodToday = 0;  // of unitsToday, good by their second attempt
    qint64 finalGoodToday = 0;       // of unitsToday, whose latest attempt is good
    QString lastFailureOutcome;      // empty: no failure in the period
    QDateTime lastFailure;
    QDateTime lastRecord;  // the station's latest started in the period
};

struct HourYield {
    QString station;
    QDateTime hour;  // UTC, the hour's start
    qint64 sessions = 0, good = 0, units = 0, firstPassGood = 0;
    qint64 mismatches = 0;  // the station's claim differs from the server's verdict
};

struct FailureCause {
    QString outcome;
    QString stage;  // "block k of N" where the message names one; else the outcome
    qint64 count = 0;
};

// What a cause and a socket count on one UTC day: the figures above are
// their sums, and a refresh after a push reads again only the days it touched.
struct CauseDay {
    QDateTime day;  // invalid: rows without a start time
    FailureCause cause;
};
struct SocketDay {
    QDateTime day;
    SocketCount count;
};

struct PlantView {
    QList<StationTile> tiles;      // by station
    QList<HourYield> hours;        // by station, then hour
    QList<FailureCause> causes;    // most frequent first
    QList<SocketVerdict> sockets;  // by station, then slot
    QList<CauseDay> causeDays;
    QList<SocketDay> socketDays;
    // Sessions (with a start) whose station's approved claim differs from
    // the server's verdict (database/schema.h mismatchSql): the hours' sum;
    // -1 when the table has no verdict (made by an earlier version).
    qint64 approvalMismatches = -1;
    // Units loaded good with the filter's image last (figures/image_units.h).
    qint64 imageUnits = -1;
    RecordFilter filter;  // the rows the figures count
    // Read from the summaries (figures/summary_source.h); false: from the
    // rows alone (a database without them, or a login not granted them).
    bool summaries = false;
    QString key;        // the selection's (figures/plant_figures.h selectionKey); set by the worker
    QDateTime readAt;   // when the figures were read
    double readMs = 0;  // how long the reading took
    QString error;
    Problem problem = Problem::Refused;
};

// Makes *c a connection to the same database as the view's, set up the
// same way (limits, settings), on the calling thread; false with *why.
using ConnectionOpener = std::function<bool(Connection* c, QString* why)>;

// Every figure of the request: the whole hours of its period from the
// summary tables the server keeps as records arrive, the part hours at its
// edges and the tiles' last hour, last record and last failure from
// quarn_sessions through its indexes (figures/summary_source.h); so a read
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

}  // namespace quarn::plant
