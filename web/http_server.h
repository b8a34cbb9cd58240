#pragma once
// quarn-plant-web's HTTP side, on libmicrohttpd: one thread of its own
// watches every connection with epoll, so a client that stops reading,
// sends its headers a byte at a time or sends too much costs the others
// nothing, and 200 open event streams hold one thread, not 200.
//   - Each connection has kConnectionMemory bytes for its request line,
//     headers and response buffer: a longer request gets 431 or 414 and is
//     closed. A request with a body gets 413 (the service only reads).
//   - A connection silent for kIdleSeconds is closed, and so is one whose
//     request headers take longer than kHeaderSeconds to arrive however
//     they trickle in (the watchdog shuts its socket down).
//   - At most kConnections connections at once; more wait in the listen
//     queue.
//   - Only GET and HEAD (anything else 405 with Allow); while listening on
//     a loopback address only requests whose Host is a loopback name
//     (421 otherwise: no DNS rebinding).
//   - Every response carries the security headers (Content-Security-Policy
//     without inline script and with connect-src 'self', nosniff,
//     Referrer-Policy no-referrer, no framing) and Cache-Control no-store,
//     static files no-cache.
// The handler runs on the server's thread and must not block: it answers at
// once, later (a Reply called once from any thread, while the connection
// waits suspended), or with a stream (an event stream read on the server's
// thread whenever the socket takes more, suspended while it has nothing).

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

struct MHD_Connection;

namespace quarn::web {

inline constexpr int kConnections = 1000;
inline constexpr int kIdleSeconds = 10;
inline constexpr int kHeaderSeconds = 10;
inline constexpr size_t kConnectionMemory = 32 * 1024;

struct HttpRequest {
    QByteArray method;                         // GET or HEAD: the handler sees no other
    QString path;                              // percent-decoded
    QList<std::pair<QString, QString>> query;  // decoded, in order; a name given twice twice
    QByteArray acceptLanguage, lastEventId;
};

struct HttpResponse {
    int status = 200;
    QByteArray type = "application/json";
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;  // more headers
    bool file = false;  // a static file: Cache-Control no-cache rather than no-store
};

// Called once with the answer, from any thread.
using Reply = std::function<void(HttpResponse)>;

// What an event stream sends, read on the server's thread.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    // Up to max bytes into buf; 0 when there is nothing now (the stream
    // waits until wake()); -1 to end the stream.
    virtual qint64 read(char* buf, size_t max) = 0;
    // Anything new: read is called again soon. Any thread, any time.
    void wake();

private:
    friend struct StreamGlue;
    std::mutex mutex_;
    MHD_Connection* connection_ = nullptr;  // null once the connection is gone
    bool suspended_ = false, woken_ = false;
};

struct Answer {
    std::optional<HttpResponse> now;
    std::function<void(Reply)> later;      // called on the server's thread
    std::shared_ptr<StreamSource> stream;  // type text/event-stream
};

using Handler = std::function<Answer(const HttpRequest&)>;

struct ListenAddress {
    QString host;  // an IPv4 or IPv6 address
    int port = 0;  // 0: any free port
    QString error;
    bool loopback() const;
    QString url(int port) const;  // http://127.0.0.1:8471/
};

// "127.0.0.1:8471", "0.0.0.0:8471", "[::1]:8471"; error set when not one.
ListenAddress parseListenAddress(const QString& text);

class HttpServer : public QObject {
    Q_OBJECT
public:
    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;  // answers what waits with 503, ends the streams, stops

    // False with *why (from the system's code) when it cannot listen.
    bool listen(const ListenAddress& address, QString* why);
    int port() const;
    // Connections open now (for the bench and the log).
    int connections() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

// The headers every response carries.
QList<std::pair<QByteArray, QByteArray>> securityHeaders();

}  // namespace quarn::web
