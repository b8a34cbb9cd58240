#pragma once
// One download image: the file, the length, the title, and once read, the
// bytes a transfer takes from the file and the digest of what it sends. Every
// front end makes one (resolve_image.h, or from the window's globals), and
// the jobs and the session request carry it to the wire unchanged.
//
// Contract
// - An image is read at most once: read() fills the bytes and computes the
//   digest in the same step, so the digest is always of the bytes held, and
//   a rewritten file changes nothing already read.
// - Unread (the desktop window's default) it names the file only; the session
//   reads it when it starts.
// - A file is refused when it is missing, holds fewer bytes than the transfer
//   takes from it (a missing or short file would otherwise go out as zeros
//   and be reported as a good download), or cannot be read. The reasons are
//   English: records keep them.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

#include "image/image_identity.h"

namespace quarn {

class DownloadImage {
public:
    DownloadImage() = default;
    // The image of path (absolute, or relative to the working folder), not read yet.
    DownloadImage(QString path, int16_t length, QString title = QString());

    const QString& path() const { return path_; }
    int16_t length() const { return length_; }
    const QString& title() const { return title_; }
    // The bytes a transfer takes (at most the whole blocks it sends); empty until read.
    const QByteArray& bytes() const { return bytes_; }
    // Raw SHA-256 of the blocks a whole transfer sends; empty until read.
    const QByteArray& sha256() const { return sha256_; }
    bool isRead() const { return !bytes_.isEmpty(); }
    QString fileName() const;
    ImageIdentity identity() const;

    // Reads the image through file (closed again on return). False, with the
    // reason, when the file is refused; the image then stays unread.
    bool read(QFile& file, QString* why);
    bool read(QString* why);

private:
    QString path_;
    int16_t length_ = 0;
    QString title_;
    QByteArray bytes_;
    QByteArray sha256_;
};

// Opens the download file and checks that it holds every byte the transfer
// takes from it. False, with the reason, when it does not (file closed).
bool openDownloadFile(QFile& file, const QString& path, int16_t downloadLength, QString* why);

}  // namespace quarn
