#pragma once
// From what the user gave to the image a download sends, the same way for
// every front end:
//   INIT (a file, or the folder that holds Init.txt) -> Init.txt -> read ->
//   the download file relative to Init.txt's folder -> --file / --length in
//   place of Init.txt's values -> the image read.
// Init.txt is not read when --file and --length both replace it; the file's
// folder is then the working folder's.

#include <QString>
#include <optional>

#include "image/download_image.h"

namespace quarn {

// The Init.txt that INIT names: "Init.txt" (in the working folder) when INIT
// is empty, INIT/Init.txt when INIT is a folder or ends with '/', else INIT
// itself. Relative stays relative.
QString initFilePath(const QString& init);

struct ImageSource {
    QString init;                   // INIT as given; empty: Init.txt here
    QString file;                   // --file; empty: Init.txt's download file
    std::optional<int16_t> length;  // --length; none: Init.txt's
};

// Why an image could not be resolved.
enum class ImageFailure {
    None,
    InitRefused,  // Init.txt is missing or invalid (why: the reader's reason)
    FileRefused,  // the download file is missing, short or unreadable (why: which and how)
};

struct ResolvedImage {
    DownloadImage image;  // read when ok()
    ImageFailure failure = ImageFailure::None;
    QString initPath;  // the Init.txt read or refused; empty when the overrides replaced it
    QString why;       // the reason, in English, when not ok()
    bool ok() const { return failure == ImageFailure::None; }
};

ResolvedImage resolveImage(const ImageSource& source);

}  // namespace quarn
