#include "figures/history_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "record/outcome.h"

namespace quarn::records {

namespace {

QJsonValue timeJson(const QDateTime& t) {
    return t.isValid() ? QJsonValue(historyTimeText(t)) : QJsonValue();
}

QJsonObject traceObject(const TraceRow& t) {
    return {{"id", t.id},
            {"started", timeJson(t.started)},
            {"station", t.station},
            {"slot", t.slot},
            {"operator", t.operatorName},
            {"file", t.file},
            {"image_sha256", textOrNull(t.imageSha256)},
            {"title", textOrNull(t.title)},
            {"approved", flagOrNull(t.approved)},
            {"server_approved", flagOrNull(t.verdict)},
            {"outcome", t.outcome},
            {"message", t.message},
            {"pushed_by", textOrNull(t.pushedBy)},
            {"seconds", t.seconds ? QJsonValue(*t.seconds) : QJsonValue()},
            {"stage", sessionStage(t.outcome, t.message)}};
}

QByteArray arrayText(const QJsonArray& rows) {
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

}  // namespace

QString historyTimeText(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonValue textOrNull(const QString& s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

QJsonValue flagOrNull(const std::optional<bool>& f) { return f ? QJsonValue(*f) : QJsonValue(); }

QByteArray traceJson(const QList<TraceRow>& rows) {
    QJsonArray out;
    for (const TraceRow& t : rows) out << traceObject(t);
    return arrayText(out);
}

QByteArray unitsJson(const QList<UnitRow>& rows) {
    QJsonArray out;
    for (const UnitRow& u : rows)
        out << QJsonObject{
            {"serial", textOrNull(u.serial)}, {"station", u.station},          {"slot", u.slot},
            {"started", timeJson(u.started)}, {"image_sha256", u.imageSha256}, {"id", u.id}};
    return arrayText(out);
}

}  // namespace quarn::records
