#include "web/view_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "plantfeed/plant_figures.h"
#include "record/slot_flags.h"
#include "record/socket_name.h"

namespace quarn::web {

namespace {

using plantfeed::causeLabel;
using plantfeed::FailureCause;
using plantfeed::FeedState;
using plantfeed::HourYield;
using plantfeed::isQuiet;
using plantfeed::PlantView;
using plantfeed::StationTile;

QJsonValue time(const QDateTime& t) {
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

QJsonValue count(qint64 n) { return n < 0 ? QJsonValue() : QJsonValue(n); }

QJsonArray tilesJson(const PlantView& v) {
    QJsonArray out;
    for (const StationTile& t : v.tiles)
        out << QJsonObject{{"station", t.station},
                           {"last_hour", t.lastHour},
                           {"good_today", t.goodToday},
                           {"failed_today", t.failedToday},
                           {"units_today", t.unitsToday},
                           {"first_pass_good_today", t.firstPassGoodToday},
                           {"second_pass_good_today", t.secondPassGoodToday},
                           {"final_good_today", t.finalGoodToday},
                           {"last_failure_outcome", t.lastFailureOutcome},
                           {"last_failure", time(t.lastFailure)},
                           {"last_record", time(t.lastRecord)},
                           {"quiet", isQuiet(t, v.tiles, v.readAt)}};
    return out;
}

QJsonArray hoursJson(const PlantView& v) {
    QJsonArray out;
    for (const HourYield& h : v.hours)
        out << QJsonObject{{"station", h.station},      {"hour", time(h.hour)},
                           {"sessions", h.sessions},    {"good", h.good},
                           {"units", h.units},          {"first_pass_good", h.firstPassGood},
                           {"mismatches", h.mismatches}};
    return out;
}

QJsonArray causesJson(const PlantView& v) {
    QJsonArray out;
    for (const FailureCause& c : v.causes)
        out << QJsonObject{{"outcome", c.outcome},
                           {"stage", c.stage},
                           {"label", causeLabel(c)},
                           {"count", c.count}};
    return out;
}

QJsonArray socketsJson(const PlantView& v) {
    QJsonArray out;
    for (const record::SocketVerdict& s : v.sockets) {
        const record::SocketCount& c = s.count;
        out << QJsonObject{{"station", c.station},
                           {"slot", c.slot},
                           {"short_name", record::socketShortName(c.slot)},
                           {"sessions", c.sessions},
                           {"failed", c.failed},
                           {"repeats", c.repeats},
                           {"since_service", count(c.sinceService)},
                           {"others_rate", s.othersRate},
                           {"others_repeat_rate", s.othersRepeatRate},
                           {"flagged", s.flagged},
                           {"repeats_flagged", s.repeatsFlagged},
                           {"service_due", s.worn},
                           {"warnings", QJsonArray::fromStringList(record::socketWarnings(s))}};
    }
    return out;
}

}  // namespace

QByteArray viewJson(const PlantView& v) {
    const QJsonObject filter{{"since", time(v.filter.since)},
                             {"until", time(v.filter.until)},
                             {"station", v.filter.station},
                             {"image", v.filter.image}};
    return QJsonDocument(QJsonObject{{"key", v.key},
                                     {"read_at", time(v.readAt)},
                                     {"read_ms", v.readMs},
                                     {"summaries", v.summaries},
                                     {"filter", filter},
                                     {"tiles", tilesJson(v)},
                                     {"hours", hoursJson(v)},
                                     {"causes", causesJson(v)},
                                     {"sockets", socketsJson(v)},
                                     {"approval_mismatches", count(v.approvalMismatches)},
                                     {"image_units", count(v.imageUnits)}})
        .toJson(QJsonDocument::Compact);
}

QByteArray stateJson(const FeedState& s) {
    static const char* const modes[] = {"connecting", "live", "polling", "away"};
    return QJsonDocument(QJsonObject{{"mode", QLatin1String(modes[int(s.mode)])},
                                     {"why", s.why},
                                     {"away_since", time(s.awaySince)},
                                     {"figures_at", time(s.figuresAt)},
                                     {"trouble", s.trouble}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace quarn::web
