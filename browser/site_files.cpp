#include "browser/site_files.h"

#include <QFile>

namespace quarn::browser {
namespace {

struct Served {
    const char* name;
    const char* type;
};

// Only these are served by name; the shell goes out filled in by the service.
const Served kServed[] = {
    {"app.js", "text/javascript; charset=utf-8"},
    {"live-worker.js", "text/javascript; charset=utf-8"},
    {"style.css", "text/css; charset=utf-8"},
};

QByteArray resource(const QString& name) {
    QFile file(QStringLiteral(":/browser/") + name);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}

}  // namespace

std::optional<SiteFile> siteFile(const QString& name) {
    for (const Served& s : kServed) {
        if (name != QLatin1String(s.name)) continue;
        QByteArray body = resource(name);
        if (body.isEmpty()) return std::nullopt;
        return SiteFile{s.type, body};
    }
    return std::nullopt;
}

QByteArray pageShellTemplate() { return resource(QStringLiteral("page.html")); }

}  // namespace quarn::browser
