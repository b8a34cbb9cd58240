#include "image/resolve_image.h"

#include <QDir>
#include <QFileInfo>

#include "image/init_file.h"

namespace quarn {

QString initFilePath(const QString& init) {
    const QString name = QStringLiteral("Init.txt");
    if (init.isEmpty()) return name;
    if (QFileInfo(init).isDir() || init.endsWith(QLatin1Char('/')))
        return QDir(init).filePath(name);
    return init;
}

ResolvedImage resolveImage(const ImageSource& source) {
    ResolvedImage r;
    InitValues init;
    QString folder = QDir::currentPath();
    if (source.file.isEmpty() || !source.length) {
        r.initPath = initFilePath(source.init);
        const InitResult read = readInitFile(r.initPath);
        if (!read.ok) {
            r.failure = ImageFailure::InitRefused;
            r.why = read.error;
            return r;
        }
        init = read.values;
        folder = QFileInfo(r.initPath).absolutePath();
    }
    const QString file = source.file.isEmpty() ? QDir(folder).absoluteFilePath(init.downloadFile)
                                               : QFileInfo(source.file).absoluteFilePath();
    r.image =
        DownloadImage(file, source.length.value_or(init.downloadLength), init.downloadCaption);
    if (!r.image.read(&r.why)) r.failure = ImageFailure::FileRefused;
    return r;
}

}  // namespace quarn
