#include "recordlog/history.h"

#include <QHash>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>
#include <algorithm>

#include "record/attempts.h"
#include "record/columns.h"
#include "recordlog/log_reader.h"

namespace quarn::recordlog {

namespace {

QString fieldText(const QJsonObject& r, const char* key) {
    return r.value(QLatin1String(key)).toString();
}

// Every record of the log once (a line appended again counts once), in the
// order read; false with *error when the log cannot be read.
bool readOnce(const QString& path, const std::function<void(const QString&)>& warn,
              const std::function<void(const QJsonObject&, const QString& id)>& each,
              QString* error) {
    LogReader reader;
    if (!reader.open(path, {}, error)) return false;
    QSet<QString> seen;
    while (!reader.atEnd()) {
        const LogBatch batch = reader.next(1000);
        for (const QString& w : batch.warnings) warn(w);
        for (const QJsonObject& r : batch.records) {
            const QString id =
                QUuid::fromString(fieldText(r, record::key::id)).toString(QUuid::WithoutBraces);
            if (seen.contains(id)) continue;
            seen.insert(id);
            each(r, id);
        }
    }
    return true;
}

QDateTime startedOf(const QJsonObject& r) {
    return QDateTime::fromString(fieldText(r, record::key::started), Qt::ISODateWithMs).toUTC();
}

std::optional<bool> flagOf(const QJsonObject& r, const char* key) {
    const QJsonValue v = r.value(QLatin1String(key));
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

TraceRow traceRow(const QJsonObject& r, const QString& id) {
    TraceRow t;
    t.id = id;
    t.started = startedOf(r);
    t.station = fieldText(r, record::key::station), t.slot = fieldText(r, record::key::slot);
    t.operatorName = fieldText(r, record::key::operatorName);
    t.file = fieldText(r, record::key::file);
    t.imageSha256 = fieldText(r, record::key::imageSha256);
    t.approved = flagOf(r, record::key::approved);
    t.outcome = fieldText(r, record::key::outcome), t.message = fieldText(r, record::key::message);
    if (r.value(QLatin1String(record::key::seconds)).isDouble())
        t.seconds = r.value(QLatin1String(record::key::seconds)).toDouble();
    return t;
}

record::PassSession orderOf(const QDateTime& started, const QString& id) {
    record::PassSession s;
    s.started = started, s.id = id;
    return s;
}

}  // namespace

bool isImagePrefix(const QString& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{12,64}$"));
    return hex.match(text).hasMatch();
}

History traceFromLog(const QString& logPath, const QString& serial,
                     const std::function<void(const QString&)>& warn) {
    History h;
    readOnce(
        logPath, warn,
        [&](const QJsonObject& r, const QString& id) {
            if (fieldText(r, record::key::serial) == serial) h.trace << traceRow(r, id);
        },
        &h.error);
    std::stable_sort(h.trace.begin(), h.trace.end(), [](const TraceRow& a, const TraceRow& b) {
        return record::attemptBefore(orderOf(a.started, a.id), orderOf(b.started, b.id));
    });
    return h;
}

History unitsFromLog(const QString& logPath, const QString& imagePrefix, const QDateTime& since,
                     const std::function<void(const QString&)>& warn) {
    History h;
    QHash<QString, UnitRow> latest;  // by serial number: its latest good session
    QList<UnitRow> unnamed;
    const bool read = readOnce(
        logPath, warn,
        [&](const QJsonObject& r, const QString& id) {
            if (fieldText(r, record::key::outcome) != QLatin1String(record::kGoodOutcome)) return;
            const UnitRow u{fieldText(r, record::key::serial),
                            fieldText(r, record::key::station),
                            fieldText(r, record::key::slot),
                            fieldText(r, record::key::imageSha256),
                            id,
                            startedOf(r)};
            if (u.serial.isEmpty()) {
                unnamed << u;
                return;
            }
            const auto it = latest.constFind(u.serial);
            if (it == latest.cend() ||
                record::attemptBefore(orderOf(it->started, it->id), orderOf(u.started, u.id)))
                latest.insert(u.serial, u);
        },
        &h.error);
    if (!read) return h;
    for (const UnitRow& u : unnamed + latest.values())
        if (u.imageSha256.startsWith(imagePrefix, Qt::CaseInsensitive) &&
            (!since.isValid() || (u.started.isValid() && u.started >= since)))
            h.units << u;
    std::sort(h.units.begin(), h.units.end(), [](const UnitRow& a, const UnitRow& b) {
        return record::attemptBefore(orderOf(a.started, a.id), orderOf(b.started, b.id));
    });
    return h;
}

}  // namespace quarn::recordlog
