#pragma once
// The plant's view as values: the request (a filter, today, now), the
// stations' tiles, the hours' yield, the causes and the sockets by day, and
// the whole view the queries (plantfeed/plant_queries.h) fill and the buckets
// (plantfeed/plant_buckets.h) read into.

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "figures/socket_sql.h"
#include "pg/connection.h"
#include "record/slot_flags.h"
#include "recordlog/record_filter.h"

namespace quarn::plantfeed {

// The records' types the figures are made of.
using pg::Connection;
using pg::Problem;

struct PlantRequest {
    recordlog::RecordFilter filter;
    QDateTime now;  // the clock the tiles' hour and day count from
    // The start of today (the tiles' good, failed and first-pass yield
    // count from it; also the period's start when that is later).
    QDateTime today;
    qint64 socketLife = 0;  // sockets past it are due for service (0: none is)
    // The summaries are read (this login may: database::SchemaLook); false:
    // every figure from the rows.
    bool summaries = true;
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
    record::SocketCount count;
};

struct PlantView {
    QList<StationTile> tiles;              // by station
    QList<HourYield> hours;                // by station, then hour
    QList<FailureCause> causes;            // most frequent first
    QList<record::SocketVerdict> sockets;  // by station, then slot
    QList<CauseDay> causeDays;
    QList<SocketDay> socketDays;
    // Sessions (with a start) whose station's approved claim differs from
    // the server's verdict (quarn_approval_mismatch): the hours' sum; -1
    // when not read.
    qint64 approvalMismatches = -1;
    // Units loaded good with the filter's image last (plantfeed/image_units.h).
    qint64 imageUnits = -1;
    recordlog::RecordFilter filter;  // the rows the figures count
    // Read from the summaries (figures/summary_split.h); false: from the
    // rows alone (a login not granted them).
    bool summaries = false;
    QString key;  // the selection's (plantfeed/plant_figures.h selectionKey); set by the worker
    QDateTime readAt;   // when the figures were read
    double readMs = 0;  // how long the reading took
    QString error;
    Problem problem = Problem::Refused;
};

// Makes *c a connection to the same database as the view's, set up the
// same way (limits, settings), on the calling thread; false with *why.
using ConnectionOpener = std::function<bool(Connection* c, QString* why)>;

}  // namespace quarn::plantfeed
