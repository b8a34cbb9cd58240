#pragma once
// What the plant's window shows, made from the figures without a widget:
// the period and filters as a request, each tile's texts (the "ROLE: VALUE"
// names screen readers read), the charts' figures as CSV. Qt Core only.

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

#include "plantfeed/plant_queries.h"

namespace quarn::plantfeed {

// The period the window shows.
enum class Period { Today, Last24Hours, Last7Days, Last30Days, Since };

struct PlantSelection {
    Period period = Period::Today;
    QDateTime since;  // for Period::Since (from --since)
    QString station;  // empty: every station
    QString image;    // a title part or a sha256 prefix; empty: every image

    bool operator==(const PlantSelection& o) const {
        return period == o.period && since == o.since && station == o.station && image == o.image;
    }
};

// One text per selection ("today||", "since|2026-12-07T00:00:00Z|st1|qx"): the
// key a view is known by when several selections are read at once.
QString selectionKey(const PlantSelection& s);

// "2026-12-07" (the start of that day, local time) or an ISO time; invalid
// when it is neither: quarn-plant's --since, quarn-plant-web's ?since=.
QDateTime parseSinceDate(const QString& text);

// The request for the selection at the time now (local time decides when
// "today" began; the sliding periods start at the whole hour before).
PlantRequest requestFor(const PlantSelection& s, const QDateTime& now);

// A station is quiet when its last record is at least this old while
// another station recorded within it.
constexpr qint64 kQuietSeconds = 15 * 60;

struct TileFigure {
    QString role;   // "Yield"
    QString value;  // "97.5 %"
    QString accessibleName() const { return role + QStringLiteral(": ") + value; }
};

// The tile's figures, in the order shown: Last hour, Good today, Failed
// today, Yield (first-pass, today), Last failure, Last record ("N min ago",
// or "quiet for N min").
QList<TileFigure> tileFigures(const StationTile& tile, const QList<StationTile>& all,
                              const QDateTime& now);
bool isQuiet(const StationTile& tile, const QList<StationTile>& all, const QDateTime& now);

// The charts' figures as CSV (a header line, then one line per row; fields
// with a comma or a quote are quoted).
QByteArray yieldCsv(const PlantView& v);
QByteArray causesCsv(const PlantView& v);
QByteArray socketsCsv(const PlantView& v);

// Lines as CSV: fields with a comma or a quote quoted, quotes doubled.
QString csvField(QString s);
QByteArray csv(const QList<QStringList>& lines);

// A cause as the Pareto's axis shows it: "transfer: block 5 of 32", "login".
QString causeLabel(const FailureCause& c);

}  // namespace quarn::plantfeed

Q_DECLARE_METATYPE(quarn::plantfeed::PlantView)
Q_DECLARE_METATYPE(quarn::plantfeed::PlantSelection)
