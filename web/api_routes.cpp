// The API's paths (web/web_service.h): each reads its parameters, refuses
// what it cannot read, and asks the one function quarn-records asks.
#include <QJsonDocument>

#include "figures/history_json.h"
#include "figures/history_sql.h"
#include "figures/report_sql.h"
#include "figures/sessions_read.h"
#include "figures/unit_verdict.h"
#include "plantfeed/plant_figures.h"
#include "recordlog/history.h"
#include "recordlog/report.h"
#include "web/query_params.h"
#include "web/web_service.h"

namespace quarn::web {

namespace {

using recordlog::History;

// A failed read as the API says it: 403 for the rights, 503 for a database
// away or busy, 500 for the service's own settings.
HttpResponse failure(const QString& error, bool denied, bool usage) {
    return errorResponse(denied ? 403 : usage ? 500 : 503, error);
}

HttpResponse json(const QByteArray& body) {
    HttpResponse r;
    r.body = body;
    return r;
}

HttpResponse csvResponse(const QList<QStringList>& lines, const QString& name) {
    HttpResponse r;
    r.type = "text/csv; charset=utf-8";
    r.body = plantfeed::csv(lines);
    r.headers << std::pair<QByteArray, QByteArray>(
        "Content-Disposition", "attachment; filename=\"" + name.toUtf8() + ".csv\"");
    return r;
}

QString flag(const std::optional<bool>& f) {
    return f ? QLatin1String(*f ? "true" : "false") : QString();
}

QString seconds(const std::optional<double>& s) { return s ? QString::number(*s) : QString(); }

HttpResponse traceCsv(const QList<recordlog::TraceRow>& rows) {
    QList<QStringList> lines{{"id", "started", "station", "slot", "operator", "file",
                              "image_sha256", "title", "approved", "server_approved", "outcome",
                              "stage", "seconds", "message", "pushed_by"}};
    for (const recordlog::TraceRow& t : rows)
        lines << QStringList{t.id,
                             figures::historyTimeText(t.started),
                             t.station,
                             t.slot,
                             t.operatorName,
                             t.file,
                             t.imageSha256,
                             t.title,
                             flag(t.approved),
                             flag(t.verdict),
                             t.outcome,
                             quarn::record::sessionStage(t.outcome, t.message),
                             seconds(t.seconds),
                             t.message,
                             t.pushedBy};
    return csvResponse(lines, QStringLiteral("unit"));
}

HttpResponse unitsCsv(const QList<recordlog::UnitRow>& rows) {
    QList<QStringList> lines{{"serial", "station", "slot", "started", "image_sha256", "id"}};
    for (const recordlog::UnitRow& u : rows)
        lines << QStringList{u.serial,      u.station, u.slot, figures::historyTimeText(u.started),
                             u.imageSha256, u.id};
    return csvResponse(lines, QStringLiteral("units"));
}

HttpResponse sessionsCsv(const QList<figures::SessionRow>& rows) {
    QList<QStringList> lines{{"id", "started", "station", "slot", "operator", "serial", "file",
                              "image_sha256", "outcome", "stage", "seconds", "repeats", "approved",
                              "server_approved", "pushed_by", "message"}};
    for (const figures::SessionRow& s : rows)
        lines << QStringList{s.id,
                             figures::historyTimeText(s.started),
                             s.station,
                             s.slot,
                             s.operatorName,
                             s.serial,
                             s.file,
                             s.imageSha256,
                             s.outcome,
                             s.stage,
                             seconds(s.seconds),
                             QString::number(s.repeats),
                             flag(s.approved),
                             flag(s.verdict),
                             s.pushedBy,
                             s.message};
    return csvResponse(lines, QStringLiteral("sessions"));
}

// ?format= absent (JSON) or csv; false with the fault recorded otherwise.
bool wantsCsv(QueryParams& p) {
    const QString format = p.take(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("csv") && format != QLatin1String("json"))
        p.refuse(QStringLiteral("format"), QStringLiteral("json or csv, not \"%1\"").arg(format));
    return format == QLatin1String("csv");
}

// The plant's selection from ?period=&since=&station=&image=.
plantfeed::PlantSelection selectionOf(QueryParams& p) {
    plantfeed::PlantSelection s;
    static const QStringList periods{"today", "24h", "7d", "30d"};
    const QString period = p.take(QStringLiteral("period"));
    if (!period.isEmpty() && !periods.contains(period))
        p.refuse(QStringLiteral("period"),
                 QStringLiteral("today, 24h, 7d or 30d, not \"%1\"").arg(period));
    s.period = plantfeed::Period(std::max<qsizetype>(0, periods.indexOf(period)));
    const QString since = p.take(QStringLiteral("since"));
    if (!since.isEmpty()) {
        s.period = plantfeed::Period::Since;
        s.since = plantfeed::parseSinceDate(since);
        if (!s.since.isValid())
            p.refuse(
                QStringLiteral("since"),
                QStringLiteral("wants a date (2026-12-07) or an ISO time, not \"%1\"").arg(since));
    }
    s.station = p.take(QStringLiteral("station"));
    s.image = p.take(QStringLiteral("image")).trimmed();
    return s;
}

}  // namespace

Answer WebService::api(const HttpRequest& r) {
    const QString p = r.path;
    if (p == QLatin1String("/api/v1/events")) {
        if (r.method == "HEAD") {
            HttpResponse head;
            head.type = "text/event-stream; charset=utf-8";
            return Answer{head, {}, {}};
        }
        QueryParams q(r.query);
        if (auto f = q.fault()) return Answer{f, {}, {}};
        return Answer{std::nullopt, {}, hub_.open(r.lastEventId)};
    }
    if (p == QLatin1String("/api/v1/plant")) return plantView(r);
    for (const char* part : {"yield", "causes", "sockets"})
        if (p == QStringLiteral("/api/v1/plant/%1.csv").arg(QLatin1String(part)))
            return plantCsv(r, QLatin1String(part));
    if (p == QLatin1String("/api/v1/report")) return report(r);
    if (p == QLatin1String("/api/v1/units")) return units(r);
    if (p == QLatin1String("/api/v1/sessions")) return sessions(r);
    if (p.startsWith(QLatin1String("/api/v1/unit/")))
        return unit(r, p.mid(QStringLiteral("/api/v1/unit/").size()), false);
    if (p.startsWith(QLatin1String("/api/v1/verdict/")))
        return unit(r, p.mid(QStringLiteral("/api/v1/verdict/").size()), true);
    return Answer{errorResponse(404, QStringLiteral("no such path: %1").arg(p)), {}, {}};
}

Answer WebService::plantView(const HttpRequest& r) {
    QueryParams q(r.query);
    const plantfeed::PlantSelection s = selectionOf(q);
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return Answer{std::nullopt, [this, s](Reply reply) { views_.answer(s, reply); }, {}};
}

Answer WebService::plantCsv(const HttpRequest& r, const QString& part) {
    QueryParams q(r.query);
    const plantfeed::PlantSelection s = selectionOf(q);
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return Answer{std::nullopt, [this, s, part](Reply reply) { views_.csv(s, part, reply); }, {}};
}

Answer WebService::report(const HttpRequest& r) {
    QueryParams q(r.query);
    recordlog::ReportRequest request;
    request.by = q.take(QStringLiteral("by"));
    if (!request.by.isEmpty() && !recordlog::reportGroupings().contains(request.by))
        q.refuse(
            QStringLiteral("by"),
            QStringLiteral("day, station, file, slot or operator, not \"%1\"").arg(request.by));
    request.since = timeParam(q, QStringLiteral("since"));
    request.station = q.take(QStringLiteral("station"));
    request.image = q.take(QStringLiteral("image"));
    request.socketLife = settings_.feed.socketLife;
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return later([url = settings_.databaseUrl, request] {
        const recordlog::Report rep = figures::reportFromDatabase(url, request);
        if (!rep.error.isEmpty()) return failure(rep.error, rep.denied, rep.usage);
        return json(recordlog::reportJson(rep, request));
    });
}

Answer WebService::unit(const HttpRequest& r, const QString& serial, bool verdict) {
    QueryParams q(r.query);
    const bool csv = !verdict && wantsCsv(q);
    if (serial.isEmpty() || serial.size() > kSerialMax)
        q.refuse(QStringLiteral("serial"),
                 QStringLiteral("a serial number of 1 to %1 characters").arg(kSerialMax));
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return later([url = settings_.databaseUrl, serial, verdict, csv] {
        const History h = figures::traceFromDatabase(url, serial);
        if (!h.error.isEmpty()) return failure(h.error, h.denied, h.usage);
        if (verdict) return json(figures::verdictJson(figures::unitVerdict(h.trace)) + '\n');
        return csv ? traceCsv(h.trace) : json(figures::traceJson(h.trace));
    });
}

Answer WebService::units(const HttpRequest& r) {
    QueryParams q(r.query);
    const bool csv = wantsCsv(q);
    const QString image = q.take(QStringLiteral("image"));
    if (!recordlog::isImagePrefix(image))
        q.refuse(QStringLiteral("image"),
                 QStringLiteral("wants 12 to 64 hex digits of a sha256, not \"%1\"").arg(image));
    const QDateTime since = timeParam(q, QStringLiteral("since"));
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return later([url = settings_.databaseUrl, image, since, csv] {
        const History h = figures::unitsFromDatabase(url, image, since);
        if (!h.error.isEmpty()) return failure(h.error, h.denied, h.usage);
        return csv ? unitsCsv(h.units) : json(figures::unitsJson(h.units));
    });
}

Answer WebService::sessions(const HttpRequest& r) {
    QueryParams q(r.query);
    const bool csv = wantsCsv(q);
    figures::SessionsQuery s;
    s.filter.since = timeParam(q, QStringLiteral("since"));
    s.filter.until = timeParam(q, QStringLiteral("until"));
    s.filter.station = q.take(QStringLiteral("station"));
    s.filter.image = q.take(QStringLiteral("image")).trimmed();
    s.slot = q.take(QStringLiteral("slot"));
    s.outcome = q.take(QStringLiteral("outcome"));
    s.stage = q.take(QStringLiteral("stage"));
    s.before = q.take(QStringLiteral("before"));
    if (!s.before.isEmpty() && QUuid::fromString(s.before).isNull())
        q.refuse(QStringLiteral("before"),
                 QStringLiteral("the id of a session, not \"%1\"").arg(s.before));
    const QString limit = q.take(QStringLiteral("limit"));
    bool ok = true;
    if (!limit.isEmpty()) s.limit = limit.toInt(&ok);
    if (!ok || s.limit < 1 || s.limit > figures::kSessionsPageMax)
        q.refuse(QStringLiteral("limit"),
                 QStringLiteral("1 to %1, not \"%2\"").arg(figures::kSessionsPageMax).arg(limit));
    if (auto f = q.fault()) return Answer{f, {}, {}};
    return later([url = settings_.databaseUrl, s, csv] {
        const figures::SessionsPage page = figures::sessionsFromDatabase(url, s);
        if (!page.error.isEmpty()) return failure(page.error, page.denied, page.usage);
        return csv ? sessionsCsv(page.rows) : json(figures::sessionsJson(page.rows));
    });
}

}  // namespace quarn::web
