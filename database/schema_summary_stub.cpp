// A stand-in for the summary tables, until their upkeep proper lands: the
// three tables the plant reads (quarn_summary_hours, quarn_summary_causes,
// quarn_summary_sockets), with their final columns, and a statement-level
// trigger that counts again every hour a push touched (the new rows' hours
// and those of every session of their serial numbers, whose first pass the
// push may have moved). second_pass_good and final_good stay 0 here.
// To be dropped, with its two hooks in schema.h and schema.cpp, when the
// real summaries are merged.
#include <QStringBuilder>

#include "database/schema.h"
#include "record/first_pass.h"

namespace quarn::records {

namespace {

const char kHour[] = "coalesce(date_trunc('hour', started, 'UTC'), '-infinity')";

// The three INSERT ... SELECTs counting the rows of `source` into the summaries.
QStringList fills(const QString& source) {
    const QString hour = QLatin1String(kHour);
    const QString unit = QStringLiteral("coalesce(%1, false)").arg(unitSql());
    const QString stage = QStringLiteral(
        "coalesce(substring(message from 'block [0-9]+ of [0-9]+'), coalesce(outcome, ''))");
    return {
        QStringLiteral(
            "INSERT INTO quarn_summary_hours SELECT %1, coalesce(station, ''), coalesce(file, ''),"
            " coalesce(operator, ''), coalesce(image_sha256, ''), coalesce(outcome, ''), count(*),"
            " coalesce(sum(repeats), 0), coalesce(sum(seconds), 0),"
            " count(*) FILTER (WHERE %2), count(*) FILTER (WHERE %3),"
            " count(*) FILTER (WHERE %3 AND outcome = 'good'), 0, 0 FROM %4"
            " GROUP BY 1, 2, 3, 4, 5, 6;\n")
            .arg(hour, mismatchSql(), unit, source),
        QStringLiteral("INSERT INTO quarn_summary_causes SELECT %1, coalesce(station, ''),"
                       " coalesce(image_sha256, ''), coalesce(outcome, ''), %2, count(*) FROM %3"
                       " WHERE outcome IS DISTINCT FROM 'good' GROUP BY 1, 2, 3, 4, 5;\n")
            .arg(hour, stage, source),
        QStringLiteral(
            "INSERT INTO quarn_summary_sockets SELECT %1, coalesce(station, ''),"
            " coalesce(slot, ''), coalesce(image_sha256, ''), count(*), count(*) FILTER (WHERE %2),"
            " count(*) FILTER (WHERE %2 AND outcome IS DISTINCT FROM 'good'),"
            " coalesce(sum(repeats) FILTER (WHERE %2), 0) FROM %3 GROUP BY 1, 2, 3, 4;\n")
            .arg(hour, passSql(), source)};
}

QString tables() {
    const QString count = QStringLiteral(" bigint NOT NULL DEFAULT 0");
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS quarn_summary_hours (hour timestamptz NOT NULL,"
               " station text NOT NULL, file text NOT NULL, operator text NOT NULL,"
               " image_sha256 text NOT NULL, outcome text NOT NULL, sessions%1, repeats%1,"
               " seconds_sum double precision NOT NULL DEFAULT 0, mismatches%1, units%1,"
               " first_pass_good%1, second_pass_good%1, final_good%1,"
               " PRIMARY KEY (hour, station, file, operator, image_sha256, outcome));\n"
               "CREATE TABLE IF NOT EXISTS quarn_summary_causes (hour timestamptz NOT NULL,"
               " station text NOT NULL, image_sha256 text NOT NULL, outcome text NOT NULL,"
               " stage text NOT NULL, failures%1,"
               " PRIMARY KEY (hour, station, image_sha256, outcome, stage));\n"
               "CREATE TABLE IF NOT EXISTS quarn_summary_sockets (hour timestamptz NOT NULL,"
               " station text NOT NULL, slot text NOT NULL, image_sha256 text NOT NULL,"
               " sessions%1, passes%1, failures%1, repeats%1,"
               " PRIMARY KEY (hour, station, slot, image_sha256));\n")
        .arg(count);
}

}  // namespace

QStringList summaryRefillStatements() {
    return QStringList{QStringLiteral("TRUNCATE quarn_summary_hours, quarn_summary_causes, "
                                      "quarn_summary_sockets;\n")} +
           fills(QStringLiteral("quarn_sessions"));
}

QStringList summaryStubStatements() {
    // The rows of the hours touched: each hour's own range of the index on started.
    const QString rows = QStringLiteral(
        "(SELECT s.* FROM unnest(touched) h JOIN quarn_sessions s ON s.started >= h"
        " AND s.started < h + interval '1 hour' WHERE h > '-infinity' UNION ALL SELECT s.*"
        " FROM quarn_sessions s WHERE s.started IS NULL AND '-infinity' = ANY(touched)) t");
    const QString body =
        QStringLiteral(
            "DECLARE touched timestamptz[];\n"
            "BEGIN\n"
            "  PERFORM FROM quarn_push_lock FOR UPDATE;\n"
            "  SELECT array_agg(DISTINCT h) INTO touched FROM (SELECT %1 AS h FROM quarn_stub_new\n"
            "    UNION SELECT %1 FROM quarn_sessions WHERE serial IN\n"
            "      (SELECT serial FROM quarn_stub_new WHERE serial <> '')) x;\n"
            "  DELETE FROM quarn_summary_hours WHERE hour = ANY(touched);\n"
            "  DELETE FROM quarn_summary_causes WHERE hour = ANY(touched);\n"
            "  DELETE FROM quarn_summary_sockets WHERE hour = ANY(touched);\n")
            .arg(QLatin1String(kHour)) %
        fills(rows).join(QString()) % QStringLiteral("  RETURN NULL;\nEND\n");
    return {tables(),
            // Its search_path pinned in the statement that makes it, as every
            // function that runs as the owner (schema_rules.cpp).
            QStringLiteral("DO $quarn$ BEGIN EXECUTE format(\n  'CREATE OR REPLACE FUNCTION "
                           "quarn_summary_stub() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER'"
                           "\n  ' SET search_path = pg_catalog, %I, pg_temp AS %L', "
                           "current_schema(), $body$\n") %
                body % QStringLiteral("$body$);\nEND $quarn$;\n"),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_summary_stub() FROM PUBLIC;\n"),
            QStringLiteral(
                "DO $$ BEGIN\n  IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname ="
                " 'quarn_sessions_summary_stub' AND tgrelid = to_regclass('quarn_sessions')) THEN\n"
                "    CREATE TRIGGER quarn_sessions_summary_stub AFTER INSERT ON quarn_sessions"
                " REFERENCING NEW TABLE AS quarn_stub_new FOR EACH STATEMENT"
                " EXECUTE FUNCTION quarn_summary_stub();\n  END IF;\nEND $$;\n")};
}

}  // namespace quarn::records
