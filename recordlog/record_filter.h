#pragma once
// Which rows of quarn_sessions a figure covers: a period, a station, an
// image. One WHERE clause for every query of the plant's view and the
// report's sockets, so that they all count the same rows.

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace quarn::records {

struct RecordFilter {
    QDateTime since;  // started >= since; invalid: from the first record
    QDateTime until;  // started < until; invalid: to the last
    QString station;  // exact name; empty: every station
    // An image: a sha256 prefix of image_sha256 (hex digits only), or else a
    // part of an approved image's title (case ignored). Empty: every image.
    QString image;

    bool operator==(const RecordFilter& o) const {
        return since == o.since && until == o.until && station == o.station && image == o.image;
    }
};

// " WHERE ..." (or "" when the filter takes every row) with ? placeholders;
// their values appended to *binds in order. alias: the table's, or empty.
QString filterSql(const RecordFilter& filter, QVariantList* binds,
                  const QString& alias = QString());

// A time as a bind value the server reads as timestamptz.
QString sqlTime(const QDateTime& t);

// A report's or a recall list's --since: "2026-12-07" (that day from 00:00
// UTC) or an ISO time; invalid when it is neither.
QDateTime parseReportSince(const QString& text);

}  // namespace quarn::records
