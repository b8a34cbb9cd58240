#pragma once
// The rules every figure shares, as the reads of quarn_sessions call them:
// the schema defines each once (database/sql/0002_rules.sql: an attempt, a
// session, a unit, its yields by attempt, an hour, a failure's stage, an
// approval mismatch), and the summaries' upkeep calls the same
// (database/sql/0004_summaries.sql), so that a count from the rows and the
// summaries agree.

#include <QString>

namespace quarn::figures {

// A row (of alias, or unqualified) that is an attempt.
QString attemptSql(const QString& alias = QString());
// A row that is its unit's first pass: first_pass, which the schema keeps
// true on each serial number's first attempt, or an attempt without a
// serial number (a unit of its own).
QString unitSql();
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

}  // namespace quarn::figures
