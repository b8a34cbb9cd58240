#pragma once
// The SQL the reports share with the summaries' upkeep, as calls of the
// rules the schema defines once (database/sql/0002_rules.sql): an attempt,
// a session, a unit, its yields by attempt, an hour, a failure's stage, an
// approval mismatch, so that a count from quarn_sessions itself and the
// summaries (database/sql/0004_summaries.sql) agree.

#include <QString>

namespace quarn::database {

// A row (of alias, or unqualified) that is an attempt.
QString attemptSql(const QString& alias = QString());
// A row that is a session at all (a held record is none).
QString sessionSql(const QString& alias = QString());
// The row's summary hour, in UTC whatever the session's time zone.
QString hourSql(const QString& alias = QString());
// The Pareto's stage of a failure: the block it stopped at, else its outcome.
QString stageSql(const QString& alias = QString());
// The station's claim (approved) differs from the server's verdict.
QString mismatchSql(const QString& alias = QString());

// The columns of a row the unit figures and their groups read (of alias).
QString unitColumnsSql(const QString& alias);

// The units whose every attempt is in `attempts` (a parenthesised subquery
// of unitColumnsSql's columns of quarn_sessions rows, perhaps more; attempts
// only, every attempt of each unit it holds): one row per unit, its first
// attempt's columns, then attempts (its number of attempts), first_good,
// second_good and final_good (0 or 1).
QString unitRowsSql(const QString& attempts);

// Rows (k, v, n) of `source` (a parenthesised subquery): per k the median
// of values v each seen n times, as percentile_cont(0.5) gives it.
// keys: the key columns, "k" or "day, station".
QString medianSql(const QString& keys, const QString& source);

}  // namespace quarn::database
