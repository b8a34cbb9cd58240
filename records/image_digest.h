#pragma once
// The hash of the whole image a session sets out to send, known before its
// first byte: the bytes the transfer takes from the download file for this
// Download_length (one past the length unless the length fills whole blocks;
// a byte past the end of the file goes out as 0x00), padded with zeros to
// whole 64-byte blocks. A good session's digest of the blocks it sent is this.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quarn::records {

// Raw SHA-256 digest; empty when the file cannot be read.
QByteArray imageSha256(const QString& path, int16_t downloadLength);
// The same from the file's bytes as already read (at least the bytes the
// transfer takes, or all the file has); empty when there are none.
QByteArray imageSha256(const QByteArray& fileBytes, int16_t downloadLength);

}  // namespace quarn::records
