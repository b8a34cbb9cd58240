#include "web/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>
#include <unordered_map>

#include "web/web_log.h"

namespace quarn::web {

// A request answered later: the connection waits suspended until the
// answer comes, from whatever thread.
struct Deferred {
    std::mutex mutex;
    MHD_Connection* connection = nullptr;  // null once the request is over
    bool suspended = false, answered = false, queued = false;
    std::optional<HttpResponse> ready;
};

// What a connection's request keeps between the calls of the access handler.
struct RequestSlot {
    bool handled = false;
    std::shared_ptr<Deferred> deferred;
};

// A connection as the watchdog sees it: in its headers since when.
struct Watch {
    int fd = -1;
    qint64 since = 0;  // ms on the watchdog's clock
    bool inHeaders = true, shut = false;
};

namespace {

QByteArray cacheControl(const HttpResponse& r) {
    return r.file ? QByteArrayLiteral("no-cache") : QByteArrayLiteral("no-store");
}

MHD_Response* makeResponse(const HttpResponse& r) {
    MHD_Response* m = MHD_create_response_from_buffer(
        size_t(r.body.size()), const_cast<char*>(r.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!m) return nullptr;
    MHD_add_response_header(m, "Content-Type", r.type.constData());
    MHD_add_response_header(m, "Cache-Control", cacheControl(r).constData());
    for (const auto& [name, value] : securityHeaders())
        MHD_add_response_header(m, name.constData(), value.constData());
    for (const auto& [name, value] : r.headers)
        MHD_add_response_header(m, name.constData(), value.constData());
    return m;
}

MHD_Result queue(MHD_Connection* c, const HttpResponse& r) {
    MHD_Response* m = makeResponse(r);
    if (!m) return MHD_NO;
    const MHD_Result ok = MHD_queue_response(c, unsigned(r.status), m);
    MHD_destroy_response(m);
    return ok;
}

HttpResponse plain(int status, const QByteArray& error) {
    HttpResponse r;
    r.status = status;
    r.body = "{\"error\": \"" + error + "\"}\n";
    return r;
}

QByteArray header(MHD_Connection* c, const char* name) {
    return QByteArray(MHD_lookup_connection_value(c, MHD_HEADER_KIND, name));
}

// The name part of a Host header: "localhost" of "localhost:8471", "::1" of "[::1]:8471".
QString hostName(const QByteArray& host) {
    QString h = QString::fromLatin1(host).trimmed().toLower();
    if (h.startsWith(QLatin1Char('['))) return h.mid(1, h.indexOf(QLatin1Char(']')) - 1);
    const qsizetype colon = h.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? h : h.left(colon);
}

bool loopbackName(const QByteArray& host) {
    const QString name = hostName(host);
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")))
        return true;
    const QHostAddress a(name);
    return !a.isNull() && a.isLoopback();
}

bool readOnly(const char* method) {
    return qstrcmp(method, "GET") == 0 || qstrcmp(method, "HEAD") == 0;
}

HttpResponse notAllowed() {
    HttpResponse r = plain(405, "only GET and HEAD: this service only reads");
    r.headers << std::pair<QByteArray, QByteArray>("Allow", "GET, HEAD");
    return r;
}

bool carriesBody(MHD_Connection* c) {
    const QByteArray length = header(c, "Content-Length");
    return !header(c, "Transfer-Encoding").isEmpty() || (!length.isEmpty() && length != "0");
}

MHD_Result addQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<QList<std::pair<QString, QString>>*>(cls)->append(
        {QString::fromUtf8(key), QString::fromUtf8(value ? value : "")});
    return MHD_YES;
}

void logMhd(void*, const char* format, va_list ap) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, ap);
    qCDebug(webLog, "http: %s", QByteArray(line).trimmed().constData());
}

}  // namespace

struct HttpServer::Impl {
    Handler handler;
    MHD_Daemon* daemon = nullptr;
    bool loopback = false;
    std::atomic<bool> stopping{false};
    std::mutex mutex;  // the watches, the deferred and the streams
    std::unordered_map<MHD_Connection*, Watch> watches;
    std::set<std::shared_ptr<Deferred>> waiting;
    std::vector<std::weak_ptr<StreamSource>> streams;
    QElapsedTimer clock;
    QTimer watchdog;

    void shutOverdue();
    void headersIn(MHD_Connection* c);
    MHD_Result first(MHD_Connection* c, const char* url, const char* method, RequestSlot* slot);
    MHD_Result stream(MHD_Connection* c, std::shared_ptr<StreamSource> source);
    MHD_Result defer(MHD_Connection* c, const std::function<void(Reply)>& later, RequestSlot* slot);
    void stop();
};

struct StreamGlue {
    struct Handle {
        std::shared_ptr<StreamSource> source;
        HttpServer::Impl* server;
    };

    static void attach(StreamSource& s, MHD_Connection* c) {
        const std::lock_guard lock(s.mutex_);
        s.connection_ = c;
    }

    static ssize_t read(void* cls, uint64_t, char* buf, size_t max) {
        auto* h = static_cast<Handle*>(cls);
        StreamSource& s = *h->source;
        for (;;) {
            if (h->server->stopping) return MHD_CONTENT_READER_END_WITH_ERROR;
            const qint64 n = s.read(buf, max);
            if (n != 0) return n < 0 ? MHD_CONTENT_READER_END_OF_STREAM : ssize_t(n);
            const std::lock_guard lock(s.mutex_);
            if (s.woken_) {  // something came between the read and now
                s.woken_ = false;
                continue;
            }
            s.suspended_ = true;
            MHD_suspend_connection(s.connection_);
            return 0;
        }
    }

    static void release(void* cls) {
        auto* h = static_cast<Handle*>(cls);
        {
            const std::lock_guard lock(h->source->mutex_);
            h->source->connection_ = nullptr;
            h->source->suspended_ = false;
        }
        delete h;
    }
};

void StreamSource::wake() {
    const std::lock_guard lock(mutex_);
    if (!connection_) return;
    if (!suspended_) {
        woken_ = true;
        return;
    }
    suspended_ = false;
    MHD_resume_connection(connection_);
}

namespace {

void answerDeferred(const std::shared_ptr<Deferred>& d, HttpResponse r, HttpServer::Impl* server) {
    const std::lock_guard lock(d->mutex);
    if (d->answered) return;
    d->answered = true;
    d->ready = std::move(r);
    if (!d->suspended || !d->connection) return;
    d->suspended = false;
    {
        const std::lock_guard all(server->mutex);
        server->waiting.erase(d);
    }
    MHD_resume_connection(d->connection);
}

MHD_Result onRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                     const char*, size_t* uploadSize, void** context) {
    auto* d = static_cast<HttpServer::Impl*>(cls);
    if (!*context) {
        // The headers are in. A body is refused before it is read; else the
        // answer comes on the next call, after the (empty) body: an answer
        // queued now would close the connection, as one queued mid-body must.
        *context = new RequestSlot;
        d->headersIn(c);
        if (!readOnly(method)) return queue(c, notAllowed());
        if (carriesBody(c)) return queue(c, plain(413, "a request to this service has no body"));
        return MHD_YES;
    }
    if (*uploadSize) {  // a body refused with 413 already: dropped unread
        *uploadSize = 0;
        return MHD_YES;
    }
    auto* slot = static_cast<RequestSlot*>(*context);
    if (!slot->handled) {
        slot->handled = true;
        return d->first(c, url, method, slot);
    }
    const std::shared_ptr<Deferred> deferred = slot->deferred;
    if (!deferred) return MHD_YES;
    const std::lock_guard lock(deferred->mutex);
    if (!deferred->ready || deferred->queued) return MHD_YES;
    deferred->queued = true;
    return queue(c, *deferred->ready);
}

void onCompleted(void* cls, MHD_Connection* c, void** context, MHD_RequestTerminationCode) {
    auto* d = static_cast<HttpServer::Impl*>(cls);
    if (auto* slot = static_cast<RequestSlot*>(*context)) {
        if (slot->deferred) {
            const std::lock_guard lock(slot->deferred->mutex);
            slot->deferred->connection = nullptr;
        }
        delete slot;
        *context = nullptr;
    }
    const std::lock_guard lock(d->mutex);
    const auto it = d->watches.find(c);
    if (it != d->watches.end()) it->second.inHeaders = true, it->second.since = d->clock.elapsed();
}

void onConnection(void* cls, MHD_Connection* c, void**, MHD_ConnectionNotificationCode code) {
    auto* d = static_cast<HttpServer::Impl*>(cls);
    const std::lock_guard lock(d->mutex);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        d->watches.erase(c);
        return;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    d->watches[c] = Watch{info ? info->connect_fd : -1, d->clock.elapsed(), true, false};
}

}  // namespace

void HttpServer::Impl::headersIn(MHD_Connection* c) {
    const std::lock_guard lock(mutex);
    const auto it = watches.find(c);
    if (it != watches.end()) it->second.inHeaders = false;
}

MHD_Result HttpServer::Impl::first(MHD_Connection* c, const char* url, const char* method,
                                   RequestSlot* slot) {
    const QByteArray verb(method);
    if (loopback && !loopbackName(header(c, "Host")))
        return queue(c, plain(421, "this service answers only to a loopback host name here"));
    HttpRequest request{
        verb, QString::fromUtf8(url), {}, header(c, "Accept-Language"), header(c, "Last-Event-ID")};
    MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, addQuery, &request.query);
    const Answer a = handler(request);
    if (a.now) return queue(c, *a.now);
    if (a.stream) return stream(c, a.stream);
    if (a.later) return defer(c, a.later, slot);
    return queue(c, plain(500, "no answer"));
}

MHD_Result HttpServer::Impl::stream(MHD_Connection* c, std::shared_ptr<StreamSource> source) {
    StreamGlue::attach(*source, c);
    {
        const std::lock_guard lock(mutex);
        std::erase_if(streams, [](const std::weak_ptr<StreamSource>& w) { return w.expired(); });
        streams.push_back(source);
    }
    auto* handle = new StreamGlue::Handle{std::move(source), this};
    MHD_Response* m = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, StreamGlue::read,
                                                        handle, StreamGlue::release);
    if (!m) return StreamGlue::release(handle), MHD_NO;
    MHD_add_response_header(m, "Content-Type", "text/event-stream; charset=utf-8");
    MHD_add_response_header(m, "Cache-Control", "no-store");
    // nginx passes the stream on as it comes, unbuffered.
    MHD_add_response_header(m, "X-Accel-Buffering", "no");
    for (const auto& [name, value] : securityHeaders())
        MHD_add_response_header(m, name.constData(), value.constData());
    const MHD_Result ok = MHD_queue_response(c, 200, m);
    MHD_destroy_response(m);
    return ok;
}

MHD_Result HttpServer::Impl::defer(MHD_Connection* c, const std::function<void(Reply)>& later,
                                   RequestSlot* slot) {
    auto d = std::make_shared<Deferred>();
    d->connection = c;
    slot->deferred = d;
    later([d, this](HttpResponse r) { answerDeferred(d, std::move(r), this); });
    const std::lock_guard lock(d->mutex);
    if (d->ready) {  // answered at once
        d->queued = true;
        return queue(c, *d->ready);
    }
    d->suspended = true;
    {
        const std::lock_guard all(mutex);
        waiting.insert(d);
    }
    MHD_suspend_connection(c);
    return MHD_YES;
}

void HttpServer::Impl::shutOverdue() {
    const qint64 now = clock.elapsed();
    const std::lock_guard lock(mutex);
    for (auto& [connection, w] : watches) {
        if (!w.inHeaders || w.shut || w.fd < 0 || now - w.since < kHeaderSeconds * 1000) continue;
        // The connection's own thread sees the socket end and closes it; the
        // descriptor stays its own until then (CLOSED waits for this lock).
        ::shutdown(w.fd, SHUT_RDWR);
        w.shut = true;
    }
}

void HttpServer::Impl::stop() {
    if (!daemon) return;
    stopping = true;
    std::set<std::shared_ptr<Deferred>> pending;
    std::vector<std::weak_ptr<StreamSource>> open;
    {
        const std::lock_guard lock(mutex);
        pending.swap(waiting);
        open.swap(streams);
    }
    for (const auto& d : pending) answerDeferred(d, plain(503, "the service is stopping"), this);
    for (const auto& w : open)
        if (const auto s = w.lock()) s->wake();
    // A resumed connection leaves the suspended list on the server's next
    // turn; stopping before it would leave it behind.
    QThread::msleep(200);
    MHD_stop_daemon(daemon);
    daemon = nullptr;
}

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>()) {
    d_->handler = std::move(handler);
    d_->clock.start();
    d_->watchdog.setInterval(1000);
    connect(&d_->watchdog, &QTimer::timeout, this, [this] { d_->shutOverdue(); });
}

HttpServer::~HttpServer() { d_->stop(); }

bool HttpServer::listen(const ListenAddress& address, QString* why) {
    sockaddr_storage storage{};
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    const QHostAddress host(address.host);
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(quint16(address.port));
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&a->sin6_addr, &bytes, sizeof bytes);
        flags |= MHD_USE_IPv6;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(quint16(address.port));
        a->sin_addr.s_addr = htonl(host.toIPv4Address());
    }
    d_->loopback = address.loopback();
    errno = 0;
    d_->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, onRequest, d_.get(), MHD_OPTION_SOCK_ADDR, &storage,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_CONNECTION_LIMIT,
        unsigned(kConnections), MHD_OPTION_CONNECTION_TIMEOUT, unsigned(kIdleSeconds),
        MHD_OPTION_NOTIFY_COMPLETED, onCompleted, d_.get(), MHD_OPTION_NOTIFY_CONNECTION,
        onConnection, d_.get(), MHD_OPTION_EXTERNAL_LOGGER, logMhd, nullptr, MHD_OPTION_END);
    if (!d_->daemon) {
        *why = QString::fromLocal8Bit(std::strerror(errno ? errno : EADDRINUSE));
        return false;
    }
    d_->watchdog.start();
    return true;
}

int HttpServer::port() const {
    const MHD_DaemonInfo* info =
        d_->daemon ? MHD_get_daemon_info(d_->daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return info ? info->port : 0;
}

int HttpServer::connections() const {
    const std::lock_guard lock(d_->mutex);
    return int(d_->watches.size());
}

QList<std::pair<QByteArray, QByteArray>> securityHeaders() {
    return {{"Content-Security-Policy",
             "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
             "connect-src 'self'; worker-src 'self'; font-src 'none'; object-src 'none'; "
             "base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "no-referrer"},
            {"X-Frame-Options", "DENY"}};
}

bool ListenAddress::loopback() const { return QHostAddress(host).isLoopback(); }

QString ListenAddress::url(int boundPort) const {
    const bool v6 = QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol;
    return QStringLiteral("http://%1:%2/")
        .arg(v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host)
        .arg(boundPort);
}

ListenAddress parseListenAddress(const QString& text) {
    ListenAddress a;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    a.port = colon < 0 ? -1 : text.mid(colon + 1).toInt(&ok);
    const QHostAddress address(host);
    if (!ok || a.port < 0 || a.port > 65535 || address.isNull() ||
        (address.protocol() != QAbstractSocket::IPv4Protocol &&
         address.protocol() != QAbstractSocket::IPv6Protocol)) {
        a.error =
            QStringLiteral("--listen wants ADDRESS:PORT (127.0.0.1:8471, [::1]:8471), not \"%1\"")
                .arg(text);
        return a;
    }
    a.host = address.toString();
    return a;
}

}  // namespace quarn::web
