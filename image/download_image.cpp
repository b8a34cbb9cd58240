#include "image/download_image.h"

#include <QFileInfo>

#include "image/blocks.h"

namespace quarn {

namespace {

// Every length takes at least one byte from the file (blocks.h).
qint64 bytesNeeded(int16_t downloadLength) { return downloadLength > 0 ? downloadLength : 1; }

}  // namespace

bool openDownloadFile(QFile& file, const QString& path, int16_t downloadLength, QString* why) {
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("Download file not found: %1").arg(path);
        return false;
    }
    const qint64 needed = bytesNeeded(downloadLength);
    const qint64 held = file.size();
    if (held < needed) {
        file.close();
        *why = QStringLiteral("Download file too short: %1 holds %2 bytes, %3 needed.")
                   .arg(path)
                   .arg(held)
                   .arg(needed);
        return false;
    }
    return true;
}

DownloadImage::DownloadImage(QString path, int16_t length, QString title)
    : path_(std::move(path)), length_(length), title_(std::move(title)) {}

QString DownloadImage::fileName() const { return QFileInfo(path_).fileName(); }

ImageIdentity DownloadImage::identity() const {
    return {title_, fileName(), length_, QString::fromLatin1(sha256_.toHex())};
}

bool DownloadImage::read(QFile& file, QString* why) {
    if (!openDownloadFile(file, path_, length_, why)) return false;
    QByteArray bytes = file.read(qint64(blocksFor(length_)) * kBlockSize);
    const bool failed = file.error() != QFileDevice::NoError || bytes.size() < bytesNeeded(length_);
    if (failed)
        *why = QStringLiteral("Download file could not be read: %1: %2")
                   .arg(path_, file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("it ended after %1 bytes").arg(bytes.size()));
    file.close();
    if (failed) return false;
    bytes_ = std::move(bytes);
    sha256_ = imageSha256(bytes_, length_);
    return true;
}

bool DownloadImage::read(QString* why) {
    QFile file;
    return read(file, why);
}

}  // namespace quarn
