#include "image/blocks.h"

#include <QBuffer>
#include <QCryptographicHash>

namespace quarn {

namespace {

uint8_t readFileByte(QIODevice& file) {
    // The length rule reads one byte past a file of exactly Download_length
    // bytes; that byte goes out as 0x00, like padding.
    char c = 0;
    return file.getChar(&c) ? static_cast<uint8_t>(c) : 0;
}

}  // namespace

int blocksFor(int16_t downloadLength) {
    if (downloadLength < 0) return 1;
    if (downloadLength > 0 && downloadLength % kBlockSize == 0) return downloadLength / kBlockSize;
    return (downloadLength + 1 + kBlockSize - 1) / kBlockSize;
}

void takeBlock(QIODevice& file, uint8_t* block, int32_t& readCount, int16_t downloadLength) {
    int pos = 0;
    do {
        block[pos++] = readFileByte(file);
        ++readCount;
    } while (pos < kBlockSize && readCount <= downloadLength);
    while (pos < kBlockSize) block[pos++] = 0;
}

QByteArray imageSha256(const QByteArray& fileBytes, int16_t downloadLength) {
    if (fileBytes.isEmpty()) return {};
    QByteArray bytes = fileBytes;
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    int32_t readCount = 0;
    uint8_t block[kBlockSize];
    for (int i = blocksFor(downloadLength); i > 0; --i) {
        takeBlock(file, block, readCount, downloadLength);
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(block), kBlockSize));
    }
    return hash.result();
}

}  // namespace quarn
