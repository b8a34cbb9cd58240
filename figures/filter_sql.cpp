#include "figures/filter_sql.h"

#include <QRegularExpression>
#include <QStringList>

namespace quarn::figures {

using recordlog::RecordFilter;

QString sqlTime(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QString filterSql(const RecordFilter& filter, QVariantList* binds, const QString& alias) {
    const QString a = alias.isEmpty() ? QString() : alias + QLatin1Char('.');
    QStringList terms;
    if (filter.since.isValid()) {
        terms << a + QStringLiteral("started >= ?::timestamptz");
        *binds << sqlTime(filter.since);
    }
    if (filter.until.isValid()) {
        terms << a + QStringLiteral("started < ?::timestamptz");
        *binds << sqlTime(filter.until);
    }
    if (!filter.station.isEmpty()) {
        terms << a + QStringLiteral("station = ?");
        *binds << filter.station;
    }
    const QString image = filter.image.trimmed();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]+$"));
    if (hex.match(image).hasMatch()) {
        // A hex word may also be part of a title: either matches.
        terms << QStringLiteral(
                     "(%1image_sha256 LIKE ? OR %1image_sha256 IN (SELECT sha256 FROM quarn_images"
                     " WHERE strpos(lower(title), lower(?)) > 0))")
                     .arg(a);
        *binds << image.toLower() + QLatin1Char('%') << image;
    } else if (!image.isEmpty()) {
        terms << QStringLiteral(
                     "%1image_sha256 IN (SELECT sha256 FROM quarn_images"
                     " WHERE strpos(lower(title), lower(?)) > 0)")
                     .arg(a);
        *binds << image;
    }
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(" AND ");
}

QString whereAnd(const RecordFilter& filter, const QString& condition, QVariantList* binds,
                 const QString& alias) {
    const QString where = filterSql(filter, binds, alias);
    return where.isEmpty() ? QStringLiteral(" WHERE ") + condition
                           : where + QStringLiteral(" AND ") + condition;
}

}  // namespace quarn::figures
