#include "gang/unit_record.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "gang/unit.h"

namespace quarn::gang {

QString outcomeName(SessionOutcome outcome) {
    switch (outcome) {
        case SessionOutcome::Good:
            return QStringLiteral("good");
        case SessionOutcome::Input:
            return QStringLiteral("input");
        case SessionOutcome::Port:
            return QStringLiteral("port");
        case SessionOutcome::Handshake:
            return QStringLiteral("handshake");
        case SessionOutcome::Login:
            return QStringLiteral("login");
        case SessionOutcome::Transfer:
            return QStringLiteral("transfer");
        case SessionOutcome::Interrupted:
            return QStringLiteral("interrupted");
    }
    return QString();
}

void applyKeys(UnitRecord& r, const RecordKeys& keys) {
    r.station = keys.station;
    r.operatorName = keys.operatorName;
    r.serial = keys.serial;
    r.slot = keys.slot;
    r.approved = keys.approved;
}

UnitRecord makeRecord(const UnitJob& job, const SessionResult& result, const QDateTime& started,
                      double seconds) {
    UnitRecord rec;
    // A unit whose port led nowhere ran no session: the job's image tells.
    rec.imageSha256 = !result.imageSha256.isEmpty() ? result.imageSha256 : job.image.sha256();
    applyKeys(rec, job.keys);
    rec.port = job.port;
    rec.device = job.device;
    rec.file = job.image.path();
    rec.length = job.image.length();
    rec.blocks = result.blocksSent;
    rec.repeats = result.repeats;
    rec.sha256 = result.sha256;
    rec.outcome = result.outcome;
    rec.message = result.reasonText;
    rec.shownMessage = result.reasonShown;
    rec.started = started;
    rec.seconds = seconds;
    return rec;
}

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

}  // namespace quarn::gang
