#pragma once
// What the approved list, the image line and the refusal messages name an
// image by (DownloadImage::identity() makes it).

#include <QString>

namespace quarn {

struct ImageIdentity {
    QString title;      // Init.txt's window title (empty when none was read)
    QString file;       // the file's name
    qint64 length = 0;  // the download length, as approved
    QString sha256Hex;  // of the image exactly as it is sent
};

}  // namespace quarn
