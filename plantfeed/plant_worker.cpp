#include "plantfeed/plant_worker.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>

#include "database/schema.h"
#include "figures/reader.h"

namespace quarn::plantfeed {

using pg::Problem;

namespace {

// A connection to the target set up for the plant's reads: the statements'
// time limit, the schema asked of its ledger (*schema, when given), no JIT
// (figures/reader.h).
// Made on the calling thread, which alone may use it.
bool openForReading(const QString& url, pg::Connection* c, QString* why,
                    database::SchemaLook* schema = nullptr) {
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return *why = target.error, false;
    database::SchemaLook look;
    pg::QueryFailure f;
    if (!figures::openReader(target, pg::statementLimitMs(), c, &look, &f))
        return *why = f.error, false;
    if (schema) *schema = look;
    return true;
}

}  // namespace

ConnectionOpener PlantWorker::opener() const {
    const QString url = settings_.databaseUrl;
    return [url](pg::Connection* c, QString* why) { return openForReading(url, c, why); };
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
    if (settings_.tickMs > 0) {
        tick_ = new QTimer(this);
        tick_->setInterval(settings_.tickMs);
        connect(tick_, &QTimer::timeout, this, [this] {
            const QDateTime now = QDateTime::currentDateTimeUtc();
            scheduleRefresh(
                QDateTime(now.date(), QTime(0, 0), Qt::UTC).toString(Qt::ISODateWithMs));
        });
        tick_->start();
    }
    probe_ = new QTimer(this);
    probe_->setInterval(settings_.probeMs);
    probe_->setSingleShot(true);
    connect(probe_, &QTimer::timeout, this, [this] {
        setMode(FeedState::Mode::Polling,
                QCoreApplication::translate("quarn-plant", "notifications do not arrive"));
        poll_->start();
    });
    check_->start();
    connectNow();
}

void PlantWorker::stop() {
    for (QTimer* t : {check_, poll_, probe_, soon_, later_, tick_})
        if (t) t->stop();
    connection_.reset();
}

void PlantWorker::select(const PlantSelection& selection) {
    watched_ = {Watched{selection, {}}};
    if (connection_) refresh();
}

void PlantWorker::watch(const QList<PlantSelection>& selections) {
    QList<Watched> next;
    for (const PlantSelection& s : selections) {
        auto same = [&](const Watched& w) { return w.selection == s; };
        const auto it = std::find_if(watched_.begin(), watched_.end(), same);
        next << (it == watched_.end() ? Watched{s, {}} : *it);
    }
    watched_ = next;
    for (Watched& w : watched_)
        if (connection_ && !w.last.readAt.isValid() && !read(w, QDateTime())) return;
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
    auto connection = std::make_unique<pg::Connection>();
    database::SchemaLook schema;
    if (openForReading(settings_.databaseUrl, connection.get(), &why, &schema)) {
        readsSummaries_ = schema.readsSummaries;
        connection_ = std::move(connection);
        listen();
        refresh();
        return;
    }
    goAway(why);
}

void PlantWorker::listen() {
    QSqlDriver* driver = connection_->db().driver();
    connect(driver, &QSqlDriver::notification, this, &PlantWorker::onNotification,
            Qt::UniqueConnection);
    const QString channel = QLatin1String(database::kSessionsChannel);
    if (!driver->subscribeToNotification(channel)) {
        setMode(FeedState::Mode::Polling,
                QCoreApplication::translate("quarn-plant", "LISTEN refused: %1")
                    .arg(driver->lastError().text()));
        return poll_->start();
    }
    // Live once the probe comes back; polling (the probe's time-out) else.
    QSqlQuery probe(connection_->db());
    probe.prepare(QStringLiteral("SELECT pg_notify(?, ?)"));
    probe.addBindValue(channel);
    probe.addBindValue(probeText_);
    if (!probe.exec()) return goAway(pg::describe(probe.lastError()));
    probe_->start();
}

void PlantWorker::onNotification(const QString& name, QSqlDriver::NotificationSource,
                                 const QVariant& payload) {
    if (name != QLatin1String(database::kSessionsChannel)) return;
    if (payload.toString() == probeText_) {
        probe_->stop();
        poll_->stop();
        return setMode(FeedState::Mode::Live);
    }
    scheduleRefresh(payload);
}

void PlantWorker::scheduleRefresh(const QVariant& payload) {
    const QDateTime from = QDateTime::fromString(payload.toString(), Qt::ISODateWithMs);
    if (!from.isValid()) return scheduleFullRead();
    if (!changedFrom_.isValid() || from < changedFrom_) changedFrom_ = from;
    // Notifications queued while a read ran come in one after the other:
    // one more read covers them all.
    if (!soon_->isActive()) soon_->start();
}

void PlantWorker::scheduleFullRead() {
    // Any login may send such notifications, as often as it likes: a read
    // of every row (seconds on a large table) is their most.
    const qint64 since = fullRead_.isValid() ? fullRead_.elapsed() : settings_.fullReadMs;
    if (since < settings_.fullReadMs) {
        if (!later_->isActive()) later_->start(int(settings_.fullReadMs - since));
        return;
    }
    changedAll_ = true;
    if (!soon_->isActive()) soon_->start();
}

void PlantWorker::check() {
    if (!connection_) return connectNow();
    if (!connection_->db().isOpen())
        return goAway(QCoreApplication::translate("quarn-plant", "the connection closed"));
    QSqlQuery q(connection_->db());
    if (q.exec(QStringLiteral("SELECT 1"))) return;
    if (pg::problemOf(q.lastError()) == Problem::Lost) goAway(pg::describe(q.lastError()));
}

void PlantWorker::refresh() {
    changedAll_ = true;
    refreshChanged();
}

void PlantWorker::refreshChanged() {
    if (!connection_) return;
    const QDateTime from = changedAll_ ? QDateTime() : changedFrom_;
    changedAll_ = false;
    changedFrom_ = QDateTime();
    soon_->stop();  // what it waited for is read now
    if (!from.isValid()) later_->stop(), fullRead_.start();
    for (Watched& w : watched_)
        if (!read(w, from)) return;
}

bool PlantWorker::read(Watched& w, const QDateTime& from) {
    PlantRequest request = requestFor(w.selection, QDateTime::currentDateTimeUtc());
    request.socketLife = settings_.socketLife;
    request.summaries = readsSummaries_;
    PlantView view = queryPlantView(connection_->db(), request, &w.last, from, opener());
    view.key = selectionKey(w.selection);
    if (!view.error.isEmpty()) {
        w.last = PlantView();  // the next read reads everything
        if (view.problem == Problem::Lost) return goAway(view.error), false;
        state_.trouble = view.error;  // refused or denied: said, and tried again later
        return emit stateChanged(state_), true;
    }
    w.last = view;
    state_.figuresAt = view.readAt;
    state_.trouble.clear();
    emit viewReady(view);
    emit stateChanged(state_);
    return true;
}

}  // namespace quarn::plantfeed
