#include "web/event_hub.h"

#include <QDateTime>
#include <QUuid>
#include <algorithm>
#include <cstring>

namespace quarn::web {

namespace {

QByteArray frame(const QByteArray& id, const QByteArray& type, const QByteArray& data) {
    QByteArray f;
    if (!id.isEmpty()) f += "id: " + id + '\n';
    return f + "event: " + type + "\ndata: " + data + "\n\n";
}

}  // namespace

// One page's stream: where it is in the ring, and the frame it is part-way
// through (a socket may take less than a frame).
struct EventHub::Stream : StreamSource {
    EventHub* hub;
    quint64 seen = 0;   // the last event it was given
    quint64 beats = 0;  // the last beat it was given
    QByteArray pending;

    // The next frames, under the hub's lock.
    void refill() {
        if (!hub->ring_.empty() && seen + 1 < hub->ring_.front().first) {
            pending += frame({}, "reset", "{}");  // fell out of the ring
            seen = hub->seq_;
        }
        for (const auto& [n, f] : hub->ring_)
            if (n > seen) pending += f, seen = n;
        if (beats < hub->beats_) {
            beats = hub->beats_;
            const QByteArray at =
                QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
            pending += frame({}, "beat", "{\"at\": \"" + at + "\"}");
        }
    }

    qint64 read(char* buf, size_t max) override {
        const std::lock_guard lock(hub->mutex_);
        if (pending.isEmpty()) refill();
        const qint64 n = std::min<qint64>(pending.size(), qint64(max));
        std::memcpy(buf, pending.constData(), size_t(n));
        pending.remove(0, n);
        return n;
    }
};

EventHub::EventHub(QObject* parent)
    : QObject(parent), boot_(QUuid::createUuid().toString(QUuid::Id128).left(12).toLatin1()) {
    beat_.setInterval(kBeatMs);
    connect(&beat_, &QTimer::timeout, this, &EventHub::beat);
    beat_.start();
}

EventHub::~EventHub() = default;

void EventHub::publish(const QByteArray& type, const QByteArray& data) {
    {
        const std::lock_guard lock(mutex_);
        ++seq_;
        ring_.emplace_back(seq_, frame(boot_ + '.' + QByteArray::number(seq_), type, data));
        while (ring_.size() > size_t(kKept)) ring_.pop_front();
    }
    wakeAll();
}

void EventHub::setHello(const QByteArray& stateJson) {
    const std::lock_guard lock(mutex_);
    hello_ = stateJson;
}

std::shared_ptr<StreamSource> EventHub::open(const QByteArray& lastEventId) {
    auto s = std::make_shared<Stream>();
    s->hub = this;
    const std::lock_guard lock(mutex_);
    s->beats = beats_;
    s->seen = seq_;
    const qsizetype dot = lastEventId.lastIndexOf('.');
    bool ok = false;
    const quint64 last = lastEventId.mid(dot + 1).toULongLong(&ok);
    if (!lastEventId.isEmpty()) {
        const bool ours = ok && lastEventId.left(dot) == boot_ && last <= seq_;
        const bool kept = ours && (ring_.empty() || last + 1 >= ring_.front().first);
        if (kept)
            s->seen = last;
        else
            s->pending += frame({}, "reset", "{}");
    }
    s->pending.prepend("retry: 2000\n\n" +
                       frame({}, "hello",
                             "{\"boot\": \"" + boot_ + "\", \"seq\": " + QByteArray::number(seq_) +
                                 ", \"state\": " + hello_ + "}"));
    std::erase_if(streams_, [](const std::weak_ptr<Stream>& w) { return w.expired(); });
    streams_.push_back(s);
    return s;
}

int EventHub::streams() const {
    const std::lock_guard lock(mutex_);
    return int(std::count_if(streams_.begin(), streams_.end(),
                             [](const std::weak_ptr<Stream>& w) { return !w.expired(); }));
}

quint64 EventHub::seq() const {
    const std::lock_guard lock(mutex_);
    return seq_;
}

void EventHub::beat() {
    {
        const std::lock_guard lock(mutex_);
        ++beats_;
    }
    wakeAll();
}

void EventHub::wakeAll() {
    std::vector<std::shared_ptr<Stream>> open;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& w : streams_)
            if (auto s = w.lock()) open.push_back(std::move(s));
    }
    for (const auto& s : open) s->wake();
}

}  // namespace quarn::web
