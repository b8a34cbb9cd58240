#pragma once
// What quarn-plant-web sends a browser besides its data: the page's shell
// (page.html), its script (app.js), the worker that shares one event stream
// between a browser's tabs (live-worker.js) and the style (style.css). They
// are compiled in as Qt resources, so the service serves exactly the files it
// was built with, whatever is on the disk.
#include <QByteArray>
#include <QString>
#include <optional>

namespace quarn::browser {

// A file a page may ask for by its name (no folder): its bytes and its
// Content-Type. Nothing for any other name, the shell among them.
struct SiteFile {
    QByteArray type;
    QByteArray body;
};
std::optional<SiteFile> siteFile(const QString& name);

// The page's shell, with its "{{...}}" places for the service to fill; empty
// only when the build lacks it.
QByteArray pageShellTemplate();

}  // namespace quarn::browser
