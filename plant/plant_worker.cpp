#include "plant/plant_worker.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "records/push.h"

namespace quarn::plant {

using records::Problem;

QString stateText(const FeedState& s, int pollMs) {
    if (!s.trouble.isEmpty() && s.mode != FeedState::Mode::Away) {
        FeedState plain = s;
        plain.trouble.clear();
        return stateText(plain, pollMs) + QStringLiteral("; ") + s.trouble;
    }
    const QString at =
        s.figuresAt.isValid()
            ? QStringLiteral("figures of %1")
                  .arg(s.figuresAt.toLocalTime().toString(QStringLiteral("HH:mm:ss")))
            : QStringLiteral("no figures yet");
    switch (s.mode) {
        case FeedState::Mode::Connecting:
            return QStringLiteral("connecting to the database");
        case FeedState::Mode::Live:
            return QStringLiteral("live: new records show as they arrive; %1").arg(at);
        case FeedState::Mode::Polling:
            return QStringLiteral("polling every %1 s (%2); %3").arg(pollMs / 1000).arg(s.why, at);
        case FeedState::Mode::Away:
            return QStringLiteral("database away since %1 (%2); %3; reconnecting")
                .arg(s.awaySince.toLocalTime().toString(QStringLiteral("HH:mm:ss")), s.why, at);
    }
    return QString();
}

namespace {

// The server's JIT compiler spends seconds on the plant's few aggregate
// queries over many rows and wins nothing back: off for this session. So are
// parallel workers: the planner, which cannot tell how few groups the
// buckets' expressions make, would have them sort every row to group them;
// one process hashing them is quicker, and leaves the other core free.
bool noJit(records::Connection& c, QString* why) {
    QSqlQuery q(c.db());
    if (q.exec(QStringLiteral("SET jit = off")) &&
        q.exec(QStringLiteral("SET max_parallel_workers_per_gather = 0")))
        return true;
    *why = records::describe(q.lastError());
    return false;
}

// A connection to the target set up for the plant's reads: the statements'
// time limit, no JIT. Made on the calling thread, which alone may use it.
bool openForReading(const QString& url, records::Connection* c, QString* why) {
    const records::DatabaseTarget target = records::parseDatabaseUrl(url);
    *why = target.error;
    return why->isEmpty() && c->open(target, why) && c->limit(records::statementLimitMs(), why) &&
           noJit(*c, why);
}

}  // namespace

ConnectionOpener PlantWorker::opener() const {
    const QString url = settings_.databaseUrl;
    return [url](records::Connection* c, QString* why) { return openForReading(url, c, why); };
}

PlantWorker::PlantWorker(FeedSettings settings) : settings_(std::move(settings)) {
    probeText_ = QStringLiteral("quarn-plant-probe-") + QUuid::createUuid().toString(QUuid::Id128);
}

PlantWorker::~PlantWorker() = default;

void PlantWorker::start() {
    auto timer = [this](int ms, bool single, void (PlantWorker::*slot)()) {
        auto* t = new QTimer(this);
        t->setInterval(ms);
        t->setSingleShot(single);
        connect(t, &QTimer::timeout, this, slot);
        return t;
    };
    check_ = timer(settings_.checkMs, false, &PlantWorker::check);
    poll_ = timer(settings_.pollMs, false, &PlantWorker::refresh);
    soon_ = timer(0, true, &PlantWorker::refreshChanged);
    later_ = timer(settings_.fullReadMs, true, &PlantWorker::refresh);
    probe_ = new QTimer(this);
    probe_->setInterval(settings_.probeMs);
    probe_->setSingleShot(true);
    connect(probe_, &QTimer::timeout, this, [this] {
        setMode(FeedState::Mode::Polling, QStringLiteral("notifications do not arrive"));
        poll_->start();
    });
    check_->start();
    connectNow();
}

void PlantWorker::stop() {
    for (QTimer* t : {check_, poll_, probe_, soon_, later_})
        if (t) t->stop();
    connection_.reset();
}

void PlantWorker::select(const PlantSelection& selection) {
    selection_ = selection;
    if (connection_) refresh();
}

void PlantWorker::setMode(FeedState::Mode mode, const QString& why) {
    state_.mode = mode;
    state_.why = why;
    emit stateChanged(state_);
}

void PlantWorker::goAway(const QString& why) {
    connection_.reset();
    probe_->stop();
    poll_->stop();
    if (state_.mode != FeedState::Mode::Away) state_.awaySince = QDateTime::currentDateTimeUtc();
    setMode(FeedState::Mode::Away, why);
}

void PlantWorker::connectNow() {
    QString why;
    auto connection = std::make_unique<records::Connection>();
    if (openForReading(settings_.databaseUrl, connection.get(), &why)) {
        connection_ = std::move(connection);
        listen();
        refresh();
        return;
    }
    goAway(why);
}

}  // namespace quarn::plant
