#pragma once
// Which records a figure covers: a period, a station, an image. The log's
// reports apply it to the records they read; the database's reads turn it
// into their one WHERE clause (figures/filter_sql.h), so that they all count
// the same rows.

#include <QDateTime>
#include <QString>

namespace quarn::recordlog {

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

// A report's or a recall list's --since: "2026-12-07" (that day from 00:00
// UTC) or an ISO time; invalid when it is neither.
QDateTime parseReportSince(const QString& text);

}  // namespace quarn::recordlog
