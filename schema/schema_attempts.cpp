// The server's count for the retest limit (record/retest.h): quarn_attempts,
// the one figure of quarn_sessions a station may read.
#include <QStringBuilder>

#include "record/retest.h"
#include "schema/schema.h"

namespace quarn::schema {

QStringList attemptsStatements() {
    // Runs as the schema's owner (SECURITY DEFINER): a station that may only
    // INSERT into quarn_sessions reads a serial number's count and nothing
    // else of the table. Its search_path is pinned in the statement that
    // makes it (as the triggers' are: schema/schema_rules.cpp), so no
    // object a caller puts earlier on its own path is used. The serial index
    // makes it a short range scan.
    const QString body = QStringLiteral(
                             "SELECT count(*)::integer FROM quarn_sessions s\n"
                             "WHERE $1 <> '' AND s.serial = $1 AND %1\n")
                             .arg(records::failedAttemptSql(QStringLiteral("s")));
    return {pinnedFunction(QStringLiteral("quarn_attempts(serial text) RETURNS integer"
                                          " LANGUAGE sql STABLE SECURITY DEFINER"),
                           body),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_attempts(text) FROM PUBLIC;\n")};
}

}  // namespace quarn::schema
