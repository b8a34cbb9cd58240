#include "record/record_json.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "record/columns.h"

namespace quarn::record {

QJsonObject toJson(const UnitRecord& r) {
    QJsonObject o;
    for (const Column& c : columns()) o[QLatin1String(c.key)] = c.get(r);
    return o;
}

QByteArray toJsonLine(const UnitRecord& r) {
    return QJsonDocument(toJson(r)).toJson(QJsonDocument::Compact) + '\n';
}

UnitRecord recordFromJson(const QJsonObject& o) {
    UnitRecord r;
    for (const Column& c : columns()) {
        const QJsonValue v = o.value(QLatin1String(c.key));
        if (c.set && !v.isUndefined()) c.set(r, v);
    }
    return r;
}

}  // namespace quarn::record
