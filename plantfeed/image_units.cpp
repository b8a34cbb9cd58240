#include "plantfeed/image_units.h"

#include <QRegularExpression>

#include "pg/query_run.h"
#include "recordlog/history.h"

namespace quarn::plantfeed {

qint64 imageUnitsOf(QSqlDatabase& db, const QString& image) {
    const QString word = image.trimmed();
    if (word.isEmpty()) return -1;
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]+$"));
    const bool prefix = recordlog::isImagePrefix(word);
    if (!prefix && hex.match(word).hasMatch()) return -1;
    const QString sql = prefix ? QStringLiteral("SELECT quarn_image_units(?)")
                               : QStringLiteral(
                                     "SELECT coalesce(sum(quarn_image_units(sha256)), 0) FROM"
                                     " (SELECT DISTINCT sha256 FROM quarn_images"
                                     " WHERE strpos(lower(title), lower(?)) > 0) i");
    qint64 count = -1;
    pg::QueryFailure f;
    pg::runQuery(
        db, sql, {prefix ? word.toLower() : word},
        [&](const QSqlQuery& q) { count = q.value(0).toLongLong(); }, &f);
    return count;
}

}  // namespace quarn::plantfeed
