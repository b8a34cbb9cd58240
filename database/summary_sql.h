#pragma once
// The summaries' SQL pieces, shared by the table's trigger that keeps them,
// their refill and the reports that read them or count past them: one
// definition of an attempt, a unit's figures, an hour, a failure's stage and
// a median, so that the summaries and a count from quarn_sessions itself
// agree. The meaning is record/'s (first_pass.h; a unit is a serial number,
// or a session without one; an attempt is a session neither interrupted nor
// held, ordered by started then id, NULL started after every time; a unit's
// group is its first attempt's).
//
// The summary tables (database/schema.h summaryStatements), each keyed by
// hour (date_trunc('hour', started) in UTC; '-infinity' without started) and
// text keys ('' for NULL):
//   quarn_summary_hours    (hour, station, file, operator, image_sha256,
//                           outcome): sessions, repeats, seconds_sum,
//                           mismatches, and at the unit's first attempt:
//                           units, first_pass_good, second_pass_good,
//                           final_good. Held records are rows of outcome
//                           'held' (their sessions column is their count).
//   quarn_summary_attempts (hour, station, file, operator, image_sha256,
//                           attempts): units
//   quarn_summary_seconds  (hour, station, file, operator, image_sha256,
//                           tenths): sessions whose seconds round to
//                           tenths / 10 (0.1 s buckets: a median read from
//                           them is within 0.05 s of the exact one, exact
//                           when every duration is on the grid); held
//                           records have no duration and are left out
//   quarn_summary_causes   (hour, station, image_sha256, outcome, stage):
//                           failures (neither good nor held)
//   quarn_summary_sockets  (hour, station, slot, image_sha256): sessions
//                           (not held), passes (attempts), failures
//                           (attempts not good), repeats (over attempts)

#include <QString>
#include <QStringList>

namespace quarn::database {

// The summary tables, in the order the schema makes them: their one list.
const QStringList& summaryTables();
// The same, as SQL names them in a list ("quarn_summary_hours, ...").
QString summaryTableList();

// A row (of alias, or unqualified) that is an attempt.
QString attemptSql(const QString& alias = QString());
// A row that is a session at all (a held record is none).
QString sessionSql(const QString& alias = QString());
// The row's summary hour, in UTC whatever the session's time zone.
QString hourSql(const QString& alias = QString());
// The Pareto's stage of a failure: the block it stopped at, else its outcome.
QString stageSql(const QString& alias = QString());

// The columns of a row the unit figures and their groups read (of alias).
QString unitColumnsSql(const QString& alias);

// The units whose every attempt is in `attempts` (a parenthesised subquery
// of unitColumnsSql's columns of quarn_sessions rows, perhaps more; attempts
// only, every attempt of each unit it
// holds): one row per unit, its first attempt's columns, then attempts (its
// number of attempts), first_good, second_good and final_good (0 or 1).
QString unitRowsSql(const QString& attempts);

// The five text keys of the hours, attempts and seconds tables from a row
// (alias), hour first, each named as the table's column.
QString summaryKeySql(const QString& alias);

// Rows (k, v, n) of `source` (a parenthesised subquery): per k the median
// of values v each seen n times, as percentile_cont(0.5) gives it.
// keys: the key columns, "k" or "day, station".
QString medianSql(const QString& keys, const QString& source);

}  // namespace quarn::database
