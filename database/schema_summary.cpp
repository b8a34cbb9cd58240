// The summaries (database/summary_sql.h names their columns): per hour the
// figures every view shows, kept by the first-pass trigger in the push's own
// transaction and turn, so that a view costs the hours and groups it shows,
// not the sessions they hold.
//
// Weighed, of the server's own means: a materialized view is refreshed
// whole (its cost is the table's, again); partial aggregates (the combine
// functions of parallel aggregation) are no upkeep of their own, and
// percentile_cont, an ordered-set aggregate, has none, hence the seconds
// histogram; a BRIN index on started keeps a period's scan cheap on an
// append-mostly table, but the scan still reads every row of the period,
// which the summaries do not. Upkeep is INSERT ... ON CONFLICT DO UPDATE of
// the groups a statement touched: a batch's rows grouped first, so each
// summary row is written once per batch. Pushes take turns on
// quarn_push_lock before they write a summary row, so no two ever wait on
// each other's rows in a different order (no deadlock), and a late record
// that changes a unit's standing moves the unit's figures in the same turn:
// the figures of its serial number as they were are taken off, as they are
// now are added.
#include <QStringBuilder>

#include "database/schema.h"
#include "database/summary_sql.h"

namespace quarn::records {

namespace {

const char kKeys[] = "hour, station, file, \"operator\", image_sha256";

// Adds the rows of `sessions` (a table or parenthesised subquery of
// quarn_sessions rows; each counted `sign` times, an expression of its
// row s: 1, or s.sign for rows going) and the unit rows of `units`
// (unitRowsSql's with a leading sign, +1 or -1) to quarn_summary_hours.
QString hoursUpsert(const QString& sessions, const QString& units, const QString& sign) {
    return QStringLiteral(
               "INSERT INTO quarn_summary_hours AS t (%1, outcome, sessions, repeats, "
               "seconds_sum, mismatches, units, first_pass_good, second_pass_good, final_good)"
               " SELECT %1, outcome, sum(sessions), sum(repeats), sum(seconds_sum),"
               " sum(mismatches), sum(units), sum(fpg), sum(spg), sum(fg) FROM ("
               "SELECT %2, coalesce(outcome, '') AS outcome, %6 AS sessions,"
               " %6 * coalesce(repeats, 0) AS repeats, %6 * coalesce(seconds, 0) AS seconds_sum,"
               " %6 * (%3 IS TRUE)::int AS mismatches, 0 AS units, 0 AS fpg, 0 AS spg, 0 AS fg"
               " FROM %4 s UNION ALL SELECT %2, coalesce(outcome, ''), 0, 0, 0, 0, sign,"
               " sign * first_good, sign * second_good, sign * final_good FROM %5 u) x"
               " GROUP BY %1, outcome HAVING (sum(sessions), sum(repeats), sum(seconds_sum),"
               " sum(mismatches), sum(units), sum(fpg), sum(spg), sum(fg))"
               " <> (0, 0, 0, 0, 0, 0, 0, 0)"
               " ON CONFLICT (%1, outcome) DO UPDATE SET sessions = t.sessions + "
               "EXCLUDED.sessions, repeats = t.repeats + EXCLUDED.repeats, seconds_sum ="
               " t.seconds_sum + EXCLUDED.seconds_sum, mismatches = t.mismatches +"
               " EXCLUDED.mismatches, units = t.units + EXCLUDED.units, first_pass_good ="
               " t.first_pass_good + EXCLUDED.first_pass_good, second_pass_good ="
               " t.second_pass_good + EXCLUDED.second_pass_good, final_good = t.final_good +"
               " EXCLUDED.final_good")
        .arg(QLatin1String(kKeys), summaryKeySql(QString()), mismatchSql(), sessions, units, sign);
}

QString attemptsUpsert(const QString& units) {
    return QStringLiteral(
               "INSERT INTO quarn_summary_attempts AS t (%1, attempts, units)"
               " SELECT %2, attempts, sum(sign) FROM %3 u GROUP BY %1, attempts"
               " HAVING sum(sign) <> 0"
               " ON CONFLICT (%1, attempts) DO UPDATE SET units = t.units + EXCLUDED.units")
        .arg(QLatin1String(kKeys), summaryKeySql(QString()), units);
}

// The units of every attempt (a parenthesised subquery), signed.
QString signedUnits(const char* sign, const QString& attempts) {
    return QStringLiteral("SELECT %1 AS sign, * FROM %2 f")
        .arg(QLatin1String(sign), unitRowsSql(attempts));
}

// The session figures of `sessions` (a table or parenthesised subquery;
// each row counted `sign` times) in the seconds, causes and sockets tables.
QStringList sessionUpserts(const QString& sessions, const QString& sign) {
    return {QStringLiteral("INSERT INTO quarn_summary_seconds AS t (%1, tenths, sessions)"
                           " SELECT %2, round(seconds * 10), sum(%5) FROM %3 s"
                           " WHERE seconds IS NOT NULL AND %4 GROUP BY 1, 2, 3, 4, 5, 6"
                           " ON CONFLICT (%1, tenths) DO UPDATE SET sessions = t.sessions +"
                           " EXCLUDED.sessions;\n")
                .arg(QLatin1String(kKeys), summaryKeySql(QString()), sessions, sessionSql(), sign),
            QStringLiteral("INSERT INTO quarn_summary_causes AS t (hour, station, image_sha256,"
                           " outcome, stage, failures) SELECT %1, coalesce(station, ''),"
                           " coalesce(image_sha256, ''), outcome, %2, sum(%5) FROM %3 s"
                           " WHERE outcome <> 'good' AND %4 GROUP BY 1, 2, 3, 4, 5"
                           " ON CONFLICT (hour, station, image_sha256, outcome, stage) DO UPDATE"
                           " SET failures = t.failures + EXCLUDED.failures;\n")
                .arg(hourSql(), stageSql(), sessions, sessionSql(), sign),
            QStringLiteral(
                "INSERT INTO quarn_summary_sockets AS t (hour, station, slot, image_sha256,"
                " sessions, passes, failures, repeats) SELECT %1, coalesce(station, ''),"
                " coalesce(slot, ''), coalesce(image_sha256, ''), sum(%5), coalesce(sum(%5)"
                " FILTER (WHERE %2), 0), coalesce(sum(%5) FILTER (WHERE %2 AND outcome IS"
                " DISTINCT FROM 'good'), 0), coalesce(sum(%5 * repeats) FILTER (WHERE %2), 0)"
                " FROM %3 s WHERE %4"
                " GROUP BY 1, 2, 3, 4 ON CONFLICT (hour, station, slot, image_sha256) DO UPDATE"
                " SET sessions = t.sessions + EXCLUDED.sessions, passes = t.passes +"
                " EXCLUDED.passes, failures = t.failures + EXCLUDED.failures, repeats ="
                " t.repeats + EXCLUDED.repeats;\n")
                .arg(hourSql(), attemptSql(), sessions, sessionSql(), sign)};
}

QString counts(const QStringList& names) {
    QString out;
    for (const QString& n : names) out += QStringLiteral(", %1 bigint NOT NULL DEFAULT 0").arg(n);
    return out;
}

QStringList tableStatements() {
    const QString keys = QStringLiteral(
        "hour timestamptz NOT NULL, station text NOT NULL, file text NOT NULL,"
        " \"operator\" text NOT NULL, image_sha256 text NOT NULL");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_summary_hours (%1, outcome text NOT NULL"
                       "%2, seconds_sum double precision NOT NULL DEFAULT 0%3,"
                       " PRIMARY KEY (%4, outcome));\n")
            .arg(keys, counts({"sessions", "repeats"}),
                 counts(
                     {"mismatches", "units", "first_pass_good", "second_pass_good", "final_good"}),
                 QLatin1String(kKeys)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_summary_attempts (%1, attempts bigint"
                       " NOT NULL%2, PRIMARY KEY (%3, attempts));\n")
            .arg(keys, counts({"units"}), QLatin1String(kKeys)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_summary_seconds (%1, tenths double"
                       " precision NOT NULL%2, PRIMARY KEY (%3, tenths));\n")
            .arg(keys, counts({"sessions"}), QLatin1String(kKeys)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_summary_causes (hour timestamptz NOT"
                       " NULL, station text NOT NULL, image_sha256 text NOT NULL, outcome text"
                       " NOT NULL, stage text NOT NULL%1,"
                       " PRIMARY KEY (hour, station, image_sha256, outcome, stage));\n")
            .arg(counts({"failures"})),
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_summary_sockets (hour timestamptz NOT"
                       " NULL, station text NOT NULL, slot text NOT NULL, image_sha256 text NOT"
                       " NULL%1, PRIMARY KEY (hour, station, slot, image_sha256));\n")
            .arg(counts({"sessions", "passes", "failures", "repeats"}))};
}

}  // namespace

QStringList summaryRefillStatements() {
    const QString all = QStringLiteral("(SELECT %1 FROM quarn_sessions WHERE %2)")
                            .arg(unitColumnsSql(QString()), attemptSql());
    // The pushes' turn taken as they take it (an UPDATE locks its row as
    // FOR UPDATE does, and is a statement plpgsql runs as it is).
    return QStringList{QStringLiteral("UPDATE quarn_push_lock SET turn = true;\n"),
                       QStringLiteral("TRUNCATE quarn_summary_hours, quarn_summary_attempts,"
                                      " quarn_summary_seconds, quarn_summary_causes,"
                                      " quarn_summary_sockets;\n"),
                       QStringLiteral("WITH d AS (%1), h AS (%2) %3;\n")
                           .arg(signedUnits("1", all),
                                hoursUpsert(QStringLiteral("quarn_sessions"), QStringLiteral("d"),
                                            QStringLiteral("1")),
                                attemptsUpsert(QStringLiteral("d")))} +
           sessionUpserts(QStringLiteral("quarn_sessions"), QStringLiteral("1"));
}

QString summaryUpkeepSql(const QString& alongside) {
    return summaryChangeSql(QString(), QStringLiteral("quarn_new"), alongside);
}

namespace {

// r of summaryChangeSql: every row of the serial numbers touched (is_new:
// come), looked up once for first_pass and the units alike. LATERAL: each
// serial number looked up by the index, whatever the planner guesses of a
// transition table (it keeps no statistics).
QString touchedRows(const QString& gone, const QString& came) {
    const QString serials =
        gone.isEmpty()
            ? QStringLiteral("SELECT DISTINCT serial FROM %1 c WHERE serial <> ''").arg(came)
        : came.isEmpty()
            ? QStringLiteral("SELECT DISTINCT serial FROM %1 g WHERE serial <> ''").arg(gone)
            : QStringLiteral(
                  "SELECT serial FROM %1 c WHERE serial <> '' UNION SELECT serial FROM"
                  " %2 g WHERE serial <> ''")
                  .arg(came, gone);
    return QStringLiteral(
               "SELECT %1, x.first_pass, %2 AS is_new FROM (%3) t CROSS JOIN LATERAL"
               " (SELECT * FROM quarn_sessions x WHERE x.serial = t.serial) x")
        .arg(unitColumnsSql(QStringLiteral("x")),
             came.isEmpty() ? QStringLiteral("false")
                            : QStringLiteral("x.id IN (SELECT id FROM %1 c)").arg(came),
             serials);
}

// The units' attempts now (r, and the sessions come without a serial
// number) and before (r but the rows come, and every row gone), each a
// parenthesised subquery.
std::pair<QString, QString> attemptsNowAndBefore(const QString& gone, const QString& came) {
    const QString columns = unitColumnsSql(QString());
    QString now = QStringLiteral("(SELECT %1 FROM r WHERE %2").arg(columns, attemptSql());
    if (!came.isEmpty())
        now += QStringLiteral(
                   " UNION ALL SELECT %1 FROM %2 n WHERE coalesce(n.serial, '') = ''"
                   " AND %3")
                   .arg(unitColumnsSql(QStringLiteral("n")), came, attemptSql(QStringLiteral("n")));
    QString before =
        QStringLiteral("(SELECT %1 FROM r WHERE %2 AND NOT is_new").arg(columns, attemptSql());
    if (!gone.isEmpty())
        before +=
            QStringLiteral(" UNION ALL SELECT %1 FROM %2 g WHERE %3")
                .arg(unitColumnsSql(QStringLiteral("g")), gone, attemptSql(QStringLiteral("g")));
    return {now + QLatin1Char(')'), before + QLatin1Char(')')};
}

// Summary rows a removal brought to nothing: a recount would not have them.
const char kNothingLeft[] =
    "  DELETE FROM quarn_summary_hours WHERE (sessions, units, first_pass_good,"
    " second_pass_good, final_good) = (0, 0, 0, 0, 0);\n"
    "  DELETE FROM quarn_summary_attempts WHERE units = 0;\n"
    "  DELETE FROM quarn_summary_seconds WHERE sessions = 0;\n"
    "  DELETE FROM quarn_summary_causes WHERE failures = 0;\n"
    "  DELETE FROM quarn_summary_sockets WHERE sessions = 0;\n";

}  // namespace

QString summaryChangeSql(const QString& gone, const QString& came, const QString& alongside) {
    // A unit's figures as they were are taken off, as they are now added;
    // rows without a serial number are units of their own, come, gone or
    // untouched. The sessions: those come counted once, those gone taken off.
    const auto [now, before] = attemptsNowAndBefore(gone, came);
    const QString sessions =
        gone.isEmpty() ? came
        : came.isEmpty()
            ? QStringLiteral("(SELECT -1 AS sign, * FROM %1 g)").arg(gone)
            : QStringLiteral("(SELECT 1 AS sign, * FROM %1 c UNION ALL SELECT -1, * FROM %2 g)")
                  .arg(came, gone);
    const QString sign = gone.isEmpty() ? QStringLiteral("1") : QStringLiteral("s.sign");
    const QString sql =
        QStringLiteral("  WITH r AS (%1), %2, d AS (%3 UNION ALL %4), h AS (%5) %6;\n")
            .arg(touchedRows(gone, came), alongside, signedUnits("1", now),
                 signedUnits("-1", before), hoursUpsert(sessions, QStringLiteral("d"), sign),
                 attemptsUpsert(QStringLiteral("d"))) +
        QStringLiteral("  ") + sessionUpserts(sessions, sign).join("  ");
    return gone.isEmpty() ? sql : sql + QLatin1String(kNothingLeft);
}

QStringList summaryStatements() {
    // Made once, and filled then from the rows already there: a plant
    // upgraded from a version without them has its whole history.
    // A viewer reads them at once, as the roles' grants say (schema --roles).
    const QString body =
        tableStatements().join(QString()) + summaryRefillStatements().join(QString()) +
        QStringLiteral(
            "IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_viewer') THEN\n"
            "  GRANT SELECT ON quarn_summary_hours, quarn_summary_attempts,"
            " quarn_summary_seconds, quarn_summary_causes, quarn_summary_sockets"
            " TO quarn_viewer;\nEND IF;\n");
    return {
        QStringLiteral("DO $quarn$ BEGIN\nIF to_regclass('quarn_summary_hours') IS NULL THEN\n") %
        body % QStringLiteral("END IF;\nEND $quarn$;\n")};
}

}  // namespace quarn::records
