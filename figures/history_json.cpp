#include "figures/history_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quarn::records {

namespace {

QJsonValue timeJson(const QDateTime& t) {
    return t.isValid() ? QJsonValue(historyTimeText(t)) : QJsonValue();
}

QJsonValue textJson(const QString& s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

QJsonValue flagJson(const std::optional<bool>& f) { return f ? QJsonValue(*f) : QJsonValue(); }

QJsonObject traceObject(const TraceRow& t) {
    return {{"id", t.id},
            {"started", timeJson(t.started)},
            {"station", t.station},
            {"slot", t.slot},
            {"operator", t.operatorName},
            {"file", t.file},
            {"image_sha256", textJson(t.imageSha256)},
            {"title", textJson(t.title)},
            {"approved", flagJson(t.approved)},
            {"server_approved", flagJson(t.verdict)},
            {"outcome", t.outcome},
            {"message", t.message},
            {"pushed_by", textJson(t.pushedBy)}};
}

QByteArray arrayText(const QJsonArray& rows) {
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

}  // namespace

QString historyTimeText(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QByteArray traceJson(const QList<TraceRow>& rows) {
    QJsonArray out;
    for (const TraceRow& t : rows) out << traceObject(t);
    return arrayText(out);
}

QByteArray unitsJson(const QList<UnitRow>& rows) {
    QJsonArray out;
    for (const UnitRow& u : rows)
        out << QJsonObject{
            {"serial", textJson(u.serial)},   {"station", u.station},          {"slot", u.slot},
            {"started", timeJson(u.started)}, {"image_sha256", u.imageSha256}, {"id", u.id}};
    return arrayText(out);
}

}  // namespace quarn::records
