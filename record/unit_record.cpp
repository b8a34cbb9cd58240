#include "record/unit_record.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quarn::records {

QByteArray toJsonLine(const UnitRecord& r) {
    QJsonObject o;
    o["id"] = r.id;
    o["version"] = r.version;
    o["image_sha256"] = QString::fromLatin1(r.imageSha256.toHex());
    o["station"] = r.station;
    o["operator"] = r.operatorName;
    o["serial"] = r.serial;
    o["slot"] = r.slot;
    o["approved"] = r.approved ? QJsonValue(*r.approved) : QJsonValue();
    o["port"] = r.port;
    o["device"] = r.device;
    o["file"] = r.file;
    o["length"] = r.length;
    o["bytes"] = static_cast<qint64>(r.blocks) * 64;
    o["sha256"] = QString::fromLatin1(r.sha256.toHex());
    o["blocks"] = r.blocks;
    o["repeats"] = r.repeats;
    o["outcome"] = outcomeName(r.outcome);
    o["message"] = r.message;
    o["started"] = r.started.toUTC().toString(Qt::ISODateWithMs);
    o["seconds"] = qRound64(r.seconds * 1000) / 1000.0;
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace quarn::records
