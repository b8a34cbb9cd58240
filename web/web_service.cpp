#include "web/web_service.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "browser/site_files.h"
#include "pg/database_url.h"
#include "web/page_shell.h"
#include "web/query_params.h"
#include "web/web_log.h"

namespace quarn::web {

WebService::WebService(const WebSettings& settings, QObject* parent)
    : QObject(parent),
      settings_(settings),
      feed_(settings.feed, plantfeed::PlantSelection{}),
      views_(feed_, hub_),
      server_([this](const HttpRequest& r) { return handle(r); }) {
    readers_.setMaxThreadCount(kReaders);
    readers_.setExpiryTimeout(-1);
    QFile chart(settings_.chartJs);
    if (chart.open(QIODevice::ReadOnly)) chartJs_ = chart.readAll();
    if (chartJs_.isEmpty())
        qCWarning(webLog, "no Chart.js at %s (libjs-chart.js): the pages show tables only",
                  qUtf8Printable(settings_.chartJs));
}

WebService::~WebService() { readers_.waitForDone(); }

bool WebService::start(QString* why) {
    if (!server_.listen(settings_.listen, why)) return false;
    qCInfo(webLog, "serving %s from %s", qUtf8Printable(settings_.listen.url(port())),
           qUtf8Printable(pg::redactedUrl(settings_.databaseUrl)));
    return true;
}

Answer WebService::handle(const HttpRequest& r) {
    const QString& p = r.path;
    if (p.startsWith(QLatin1String("/api/"))) return api(r);
    if (p == QLatin1String("/")) return page(r, QStringLiteral("plant"), QString());
    if (p.startsWith(QLatin1String("/unit/")))
        return page(r, QStringLiteral("unit"), p.mid(QStringLiteral("/unit/").size()));
    if (p.startsWith(QLatin1String("/image/")))
        return page(r, QStringLiteral("image"), p.mid(QStringLiteral("/image/").size()));
    if (p.startsWith(QLatin1String("/static/")))
        return file(p.mid(QStringLiteral("/static/").size()));
    return Answer{errorResponse(404, QStringLiteral("no such page: %1").arg(p)), {}, {}};
}

Answer WebService::page(const HttpRequest& r, const QString& kind, const QString& subject) {
    const QString language = texts_.language(r.acceptLanguage);
    HttpResponse out;
    out.type = "text/html; charset=utf-8";
    out.body = pageShell(texts_, language, kind, subject);
    out.headers << std::pair<QByteArray, QByteArray>("Content-Language", language.toLatin1());
    out.headers << std::pair<QByteArray, QByteArray>("Vary", "Accept-Language");
    return Answer{out, {}, {}};
}

Answer WebService::file(const QString& name) {
    HttpResponse out;
    out.file = true;
    if (name == QLatin1String("chart.js") && !chartJs_.isEmpty()) {
        out.type = "text/javascript; charset=utf-8";
        out.body = chartJs_;
        return Answer{out, {}, {}};
    }
    if (const std::optional<browser::SiteFile> f = browser::siteFile(name)) {
        out.type = f->type;
        out.body = f->body;
        return Answer{out, {}, {}};
    }
    return Answer{errorResponse(404, QStringLiteral("no such file: %1").arg(name)), {}, {}};
}

Answer WebService::later(std::function<HttpResponse()> work) {
    return Answer{std::nullopt,
                  [this, work = std::move(work)](Reply reply) {
                      if (queued_.fetchAndAddOrdered(1) >= kReadersQueue) {
                          queued_.fetchAndSubOrdered(1);
                          return reply(errorResponse(
                              503, QStringLiteral("too many questions at once; ask again")));
                      }
                      readers_.start([this, work, reply] {
                          HttpResponse r = work();
                          queued_.fetchAndSubOrdered(1);
                          reply(std::move(r));
                      });
                  },
                  {}};
}

}  // namespace quarn::web
