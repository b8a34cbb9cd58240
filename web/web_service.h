#pragma once
// quarn-plant-web's service: the HTTP server (web/http_server.h), the one
// event stream (web/event_hub.h), the plant's views read once for every page
// (web/plant_views.h), the pages and their files, and the API. Its paths:
//   /                      the plant: tiles, yield per hour, Pareto, sockets
//   /unit/SERIAL           one unit's history and verdict (/unit/: the search)
//   /image/SHA256          the recall list of an image
//   /static/...            the pages' script, style, worker and Chart.js
//   /api/v1/plant          the view of ?period=today|24h|7d|30d&since=&station=&image=
//   /api/v1/plant/yield.csv, causes.csv, sockets.csv   the charts' figures
//   /api/v1/report         quarn-records report --json (?by=&since=&station=&image=)
//   /api/v1/unit/SERIAL    quarn-records trace SERIAL --json
//   /api/v1/verdict/SERIAL the unit's verdict (figures/unit_verdict.h)
//   /api/v1/units          quarn-records units --json (?image=&since=)
//   /api/v1/sessions       the sessions behind a figure (figures/sessions_read.h)
//   /api/v1/events         the event stream
// unit, units and sessions give CSV with ?format=csv. A parameter the path
// does not take, one given twice, or one that cannot be read gets 400 with
// {"error": "..."} naming it; an unknown path 404. Every answer that needs
// the database runs on a pool of kReaders threads, each opening its
// connection as quarn-records does, so a slow question never holds the
// server's thread.

#include <QAtomicInt>
#include <QObject>
#include <QThreadPool>
#include <memory>

#include "plantfeed/plant_feed.h"
#include "web/event_hub.h"
#include "web/http_server.h"
#include "web/page_texts.h"
#include "web/plant_views.h"

namespace quarn::web {

inline constexpr int kReaders = 2;
inline constexpr int kReadersQueue = 64;  // questions waiting for a reader, at most
inline constexpr int kSerialMax = 200;    // characters of a serial number
inline constexpr char kDefaultListen[] = "127.0.0.1:8471";

struct WebSettings {
    QString databaseUrl;
    ListenAddress listen;
    QString chartJs;  // Chart.js as Debian installs it
    plantfeed::FeedSettings feed;
};

class WebService : public QObject {
    Q_OBJECT
public:
    explicit WebService(const WebSettings& settings, QObject* parent = nullptr);
    ~WebService() override;

    bool start(QString* why);
    int port() const { return server_.port(); }
    EventHub& hub() { return hub_; }

private:
    Answer handle(const HttpRequest& request);
    Answer api(const HttpRequest& request);
    Answer page(const HttpRequest& request, const QString& kind, const QString& subject);
    Answer file(const QString& name);
    // work() on a reader thread, its answer then sent.
    Answer later(std::function<HttpResponse()> work);

    Answer plantView(const HttpRequest& request);
    Answer plantCsv(const HttpRequest& request, const QString& part);
    Answer report(const HttpRequest& request);
    Answer unit(const HttpRequest& request, const QString& serial, bool verdict);
    Answer units(const HttpRequest& request);
    Answer sessions(const HttpRequest& request);

    WebSettings settings_;
    PageTexts texts_;
    QByteArray chartJs_;
    plantfeed::PlantFeed feed_;
    EventHub hub_;
    PlantViews views_;
    QThreadPool readers_;
    QAtomicInt queued_ = 0;
    HttpServer server_;
};

}  // namespace quarn::web
