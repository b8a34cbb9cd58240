#include "record/record_id.h"

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <QUuid>
#include <cstring>

namespace quarn::record {

QString newRecordId() {
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    unsigned char b[16];
    std::memcpy(b, random, sizeof b);
    const quint64 ms = quint64(QDateTime::currentMSecsSinceEpoch());
    for (int i = 0; i < 6; ++i) b[i] = static_cast<unsigned char>(ms >> (40 - 8 * i));
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x70);  // version 7
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 9562's variant
    return QUuid::fromRfc4122(QByteArray(reinterpret_cast<const char*>(b), sizeof b))
        .toString(QUuid::WithoutBraces);
}

}  // namespace quarn::record
