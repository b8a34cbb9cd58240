#include "records/image_digest.h"

#include <QCryptographicHash>
#include <QFile>

namespace quarn::records {

namespace {
constexpr int kBlockSize = 64;

// Bytes the transfer reads: it stops after the block in which the count of
// bytes read passes the length, or fills the last block exactly.
qint64 bytesTaken(int16_t length) {
    if (length <= 0) return 1;
    if (length % kBlockSize == 0) return length;
    return length + 1;
}
}  // namespace

QByteArray imageSha256(const QString& path, int16_t downloadLength) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.read(bytesTaken(downloadLength));
    if (file.error() != QFileDevice::NoError) return {};
    return imageSha256(bytes, downloadLength);
}

QByteArray imageSha256(const QByteArray& fileBytes, int16_t downloadLength) {
    if (fileBytes.isEmpty()) return {};
    const qint64 taken = bytesTaken(downloadLength);
    QByteArray image = fileBytes.left(taken);
    const qint64 blocks = (taken + kBlockSize - 1) / kBlockSize;
    image.append(blocks * kBlockSize - image.size(), '\0');
    return QCryptographicHash::hash(image, QCryptographicHash::Sha256);
}

}  // namespace quarn::records
