#include "figures/history_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "record/columns.h"
#include "record/outcome.h"

namespace quarn::figures {

namespace {

QJsonValue timeJson(const QDateTime& t) {
    return t.isValid() ? QJsonValue(historyTimeText(t)) : QJsonValue();
}

// A record's own keys as its column table spells them (record/columns.h);
// then what the server and the approved list add, under their columns' names.
QJsonObject traceObject(const recordlog::TraceRow& t) {
    return {
        {QLatin1String(record::key::id), t.id},
        {QLatin1String(record::key::started), timeJson(t.started)},
        {QLatin1String(record::key::station), t.station},
        {QLatin1String(record::key::slot), t.slot},
        {QLatin1String(record::key::operatorName), t.operatorName},
        {QLatin1String(record::key::file), t.file},
        {QLatin1String(record::key::imageSha256), textOrNull(t.imageSha256)},
        {QLatin1String("title"), textOrNull(t.title)},
        {QLatin1String(record::key::approved), flagOrNull(t.approved)},
        {QLatin1String("server_approved"), flagOrNull(t.verdict)},
        {QLatin1String(record::key::outcome), t.outcome},
        {QLatin1String(record::key::message), t.message},
        {QLatin1String("pushed_by"), textOrNull(t.pushedBy)},
        {QLatin1String(record::key::seconds), t.seconds ? QJsonValue(*t.seconds) : QJsonValue()},
        {QLatin1String("stage"), record::sessionStage(t.outcome, t.message)}};
}

QJsonObject unitObject(const recordlog::UnitRow& u) {
    return {{QLatin1String(record::key::serial), textOrNull(u.serial)},
            {QLatin1String(record::key::station), u.station},
            {QLatin1String(record::key::slot), u.slot},
            {QLatin1String(record::key::started), timeJson(u.started)},
            {QLatin1String(record::key::imageSha256), u.imageSha256},
            {QLatin1String(record::key::id), u.id}};
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

QByteArray traceJson(const QList<recordlog::TraceRow>& rows) {
    QJsonArray out;
    for (const recordlog::TraceRow& t : rows) out << traceObject(t);
    return arrayText(out);
}

QByteArray unitsJson(const QList<recordlog::UnitRow>& rows) {
    QJsonArray out;
    for (const recordlog::UnitRow& u : rows) out << unitObject(u);
    return arrayText(out);
}

}  // namespace quarn::figures
