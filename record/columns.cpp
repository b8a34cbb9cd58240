#include "record/columns.h"

#include <QDateTime>

#include "record/unit_record.h"

namespace quarn::record {

namespace {

using R = UnitRecord;
using V = QJsonValue;

QJsonValue hex(const QByteArray& digest) { return QString::fromLatin1(digest.toHex()); }
QByteArray unhex(const V& v) { return QByteArray::fromHex(v.toString().toLatin1()); }
QDateTime time(const V& v) { return QDateTime::fromString(v.toString(), Qt::ISODateWithMs); }

// One row per key: how a record writes it and how it is read back.
const QList<Column>& table() {
    static const QList<Column> list{
        {key::id, ColumnKind::Uuid, [](const R& r) { return V(r.id); },
         [](R& r, const V& v) { r.id = v.toString(); }},
        {key::started, ColumnKind::Time,
         [](const R& r) { return V(r.started.toUTC().toString(Qt::ISODateWithMs)); },
         [](R& r, const V& v) { r.started = time(v); }},
        {key::seconds, ColumnKind::Real,
         [](const R& r) { return V(qRound64(r.seconds * 1000) / 1000.0); },
         [](R& r, const V& v) { r.seconds = v.toDouble(); }},
        {key::station, ColumnKind::Text, [](const R& r) { return V(r.station); },
         [](R& r, const V& v) { r.station = v.toString(); }},
        {key::operatorName, ColumnKind::Text, [](const R& r) { return V(r.operatorName); },
         [](R& r, const V& v) { r.operatorName = v.toString(); }},
        {key::serial, ColumnKind::Text, [](const R& r) { return V(r.serial); },
         [](R& r, const V& v) { r.serial = v.toString(); }},
        {key::slot, ColumnKind::Text, [](const R& r) { return V(r.slot); },
         [](R& r, const V& v) { r.slot = v.toString(); }},
        {key::port, ColumnKind::Text, [](const R& r) { return V(r.port); },
         [](R& r, const V& v) { r.port = v.toString(); }},
        {key::device, ColumnKind::Text, [](const R& r) { return V(r.device); },
         [](R& r, const V& v) { r.device = v.toString(); }},
        {key::file, ColumnKind::Text, [](const R& r) { return V(r.file); },
         [](R& r, const V& v) { r.file = v.toString(); }},
        {key::length, ColumnKind::Count, [](const R& r) { return V(r.length); },
         [](R& r, const V& v) { r.length = int16_t(v.toInt()); }},
        // What the blocks carried: always whole blocks of 64 bytes.
        {key::bytes, ColumnKind::Count, [](const R& r) { return V(qint64(r.blocks) * 64); },
         nullptr},
        {key::blocks, ColumnKind::Count, [](const R& r) { return V(r.blocks); },
         [](R& r, const V& v) { r.blocks = v.toInt(); }},
        {key::repeats, ColumnKind::Count, [](const R& r) { return V(r.repeats); },
         [](R& r, const V& v) { r.repeats = v.toInt(); }},
        {key::sha256, ColumnKind::Text, [](const R& r) { return hex(r.sha256); },
         [](R& r, const V& v) { r.sha256 = unhex(v); }},
        {key::imageSha256, ColumnKind::Text, [](const R& r) { return hex(r.imageSha256); },
         [](R& r, const V& v) { r.imageSha256 = unhex(v); }},
        {key::outcome, ColumnKind::Text, [](const R& r) { return V(outcomeName(r.outcome)); },
         [](R& r, const V& v) { r.outcome = outcomeFromName(v.toString()).value_or(r.outcome); }},
        {key::message, ColumnKind::Text, [](const R& r) { return V(r.message); },
         [](R& r, const V& v) { r.message = v.toString(); }},
        {key::version, ColumnKind::Text, [](const R& r) { return V(r.version); },
         [](R& r, const V& v) { r.version = v.toString(); }},
        {key::approved, ColumnKind::Flag,
         [](const R& r) { return r.approved ? V(*r.approved) : V(); },
         [](R& r, const V& v) {
             r.approved = v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
         }},
    };
    return list;
}

}  // namespace

const QList<Column>& columns() { return table(); }

}  // namespace quarn::record
