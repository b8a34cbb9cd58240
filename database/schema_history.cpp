// The parts of the schema that one unit's history and the recall list need
// (database/history_sql.h): the index the recall list reads, and the count
// an engineer's revoke prints without reading the table.
#include <QStringBuilder>

#include "database/history_sql.h"
#include "database/schema.h"

namespace quarn::records {

QStringList historyStatements() {
    // The good rows of an image, by a prefix of its sha256 (text_pattern_ops:
    // LIKE 'prefix%' reads the index whatever the database's collation).
    // trace reads quarn_sessions_serial (serial, started, id), made with the table.
    // Only a prefix of 12 to 64 hex digits names an image (as units --image
    // wants it): an empty one, or one with LIKE's % or _, would count the
    // units of every image. Anything else counts none.
    const QString count = QStringLiteral(
                              "SELECT CASE WHEN $1 ~ '^[0-9a-f]{12,64}$' THEN (SELECT count(*)"
                              " FROM (") %
                          imageUnitsSql(QStringLiteral("$1")) % QStringLiteral(") u) ELSE 0 END");
    // A function an engineer may call: the count alone, read with the
    // owner's rights, its search_path pinned as the triggers' are.
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_good_image "
                           "ON quarn_sessions (image_sha256 text_pattern_ops, started) "
                           "WHERE outcome = 'good';\n"),
            pinnedFunction(QStringLiteral("quarn_image_units(prefix text) RETURNS bigint"
                                          " LANGUAGE sql STABLE SECURITY DEFINER"),
                           count),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_image_units(text) FROM PUBLIC;\n")};
}

QString historyGrantStatement() {
    return QStringLiteral(
        "GRANT EXECUTE ON FUNCTION quarn_image_units(text) TO quarn_engineer, quarn_viewer;\n");
}

}  // namespace quarn::records
