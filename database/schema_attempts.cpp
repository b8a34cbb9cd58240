// The server's count for the retest limit (record/retest.h): quarn_attempts,
// the one figure of quarn_sessions a station may read.
#include <QStringBuilder>

#include "database/schema.h"
#include "record/retest.h"

namespace quarn::records {

QStringList attemptsStatements() {
    // Runs as the schema's owner (SECURITY DEFINER): a station that may only
    // INSERT into quarn_sessions reads a serial number's count and nothing
    // else of the table. Its search_path is pinned in the statement that
    // makes it (as the triggers' are: database/schema_rules.cpp), so no
    // object a caller puts earlier on its own path is used. The serial index
    // makes it a short range scan.
    const QString body = QStringLiteral(
                             "SELECT count(*)::integer FROM quarn_sessions s\n"
                             "WHERE $1 <> '' AND s.serial = $1 AND %1\n")
                             .arg(failedAttemptSql(QStringLiteral("s")));
    // With the ids of the station's own failed attempts of the serial
    // number still waiting in its log: those not in the table yet count
    // too (a record pushed meanwhile is counted once, from the table).
    const QString withWaiting =
        QStringLiteral(
            "SELECT (SELECT count(*) FROM quarn_sessions s WHERE $1 <> '' AND s.serial = $1"
            " AND %1)::integer + (SELECT count(DISTINCT w) FROM unnest($2) w WHERE $1 <> ''"
            " AND NOT EXISTS (SELECT FROM quarn_sessions s WHERE s.serial = $1 AND s.id = w))"
            "::integer\n")
            .arg(failedAttemptSql(QStringLiteral("s")));
    return {pinnedFunction(QStringLiteral("quarn_attempts(serial text) RETURNS integer"
                                          " LANGUAGE sql STABLE SECURITY DEFINER"),
                           body),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_attempts(text) FROM PUBLIC;\n"),
            pinnedFunction(QStringLiteral("quarn_attempts(serial text, waiting uuid[]) RETURNS"
                                          " integer LANGUAGE sql STABLE SECURITY DEFINER"),
                           withWaiting),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_attempts(text, uuid[]) FROM PUBLIC;\n"),
            QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = "
                           "'quarn_station') THEN\n"
                           "  GRANT EXECUTE ON FUNCTION quarn_attempts(text, uuid[]) TO "
                           "quarn_station;\nEND IF; END $$;\n")};
}

}  // namespace quarn::records
