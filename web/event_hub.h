#pragma once
// The one event stream every page listens to (/api/v1/events, Server-Sent
// Events). What happens is published once, kept in a ring of the last
// kKept events, and each open stream reads it from there when its socket
// takes more: a page that stops reading holds nothing but its place in
// the ring, and one that fell out of it gets "reset" (read everything
// again) rather than an ever longer queue.
//   id:    "BOOT.N": N counts this run's events; BOOT names the run, so a
//          Last-Event-ID of another run (the service restarted) is known
//          as such and answered with "reset".
//   retry: 2000 ms, sent first: a browser tries again that soon after the
//          service went away.
//   hello: first on every stream (no id): {"boot", "seq", "state"}.
//   beat:  every kBeatMs (no id): {"at"}. A page that hears nothing, not
//          even a beat, for 35 s calls the service gone.
// A stream that opens with a Last-Event-ID of this run gets every event
// after it that the ring still holds, then what comes.

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "web/http_server.h"

namespace quarn::web {

inline constexpr int kKept = 256;
inline constexpr int kBeatMs = 15000;

class EventHub : public QObject {
    Q_OBJECT
public:
    explicit EventHub(QObject* parent = nullptr);
    ~EventHub() override;

    // Any thread. data is one line of JSON.
    void publish(const QByteArray& type, const QByteArray& data);
    // What hello carries besides the boot and the sequence (the feed's state).
    void setHello(const QByteArray& stateJson);
    // A stream for a page that last saw lastEventId (empty: none).
    std::shared_ptr<StreamSource> open(const QByteArray& lastEventId);

    int streams() const;
    quint64 seq() const;
    QByteArray boot() const { return boot_; }

    struct Stream;

private:
    void beat();
    void wakeAll();

    mutable std::mutex mutex_;
    const QByteArray boot_;
    quint64 seq_ = 0;
    quint64 beats_ = 0;
    QByteArray hello_ = "null";
    std::deque<std::pair<quint64, QByteArray>> ring_;  // seq, the whole frame
    std::vector<std::weak_ptr<Stream>> streams_;
    QTimer beat_;
};

}  // namespace quarn::web
