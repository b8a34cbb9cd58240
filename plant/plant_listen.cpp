// The worker's live part: LISTEN and its probe, the connection's check, and
// reading the figures again.
#include <QSqlError>
#include <QSqlQuery>

#include "plant/plant_worker.h"
#include "records/schema.h"

namespace quarn::plant {

using records::Problem;

void PlantWorker::listen() {
    QSqlQuery q(connection_->db());
    // A table made before the trigger existed never notifies.
    if (!q.exec(QStringLiteral("SELECT EXISTS (SELECT FROM pg_trigger WHERE tgname = "
                               "'quarn_sessions_notify' AND tgrelid = "
                               "to_regclass('quarn_sessions'))")) ||
        !q.next() || !q.value(0).toBool()) {
        setMode(FeedState::Mode::Polling,
                QStringLiteral("the records table sends no notifications: "
                               "run quarn-records schema on it"));
        return poll_->start();
    }
    QSqlDriver* driver = connection_->db().driver();
    connect(driver, &QSqlDriver::notification, this, &PlantWorker::onNotification,
            Qt::UniqueConnection);
    const QString channel = QLatin1String(records::kSessionsChannel);
    if (!driver->subscribeToNotification(channel)) {
        setMode(FeedState::Mode::Polling,
                QStringLiteral("LISTEN refused: %1").arg(driver->lastError().text()));
        return poll_->start();
    }
    // Live once the probe comes back; polling (the probe's time-out) else.
    QSqlQuery probe(connection_->db());
    probe.prepare(QStringLiteral("SELECT pg_notify(?, ?)"));
    probe.addBindValue(channel);
    probe.addBindValue(probeText_);
    if (!probe.exec()) return goAway(records::describe(probe.lastError()));
    probe_->start();
}

void PlantWorker::onNotification(const QString& name, QSqlDriver::NotificationSource,
                                 const QVariant& payload) {
    if (name != QLatin1String(records::kSessionsChannel)) return;
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
    if (!connection_->db().isOpen()) return goAway(QStringLiteral("the connection closed"));
    QSqlQuery q(connection_->db());
    if (q.exec(QStringLiteral("SELECT 1"))) return;
    if (records::problemOf(q.lastError()) == Problem::Lost)
        goAway(records::describe(q.lastError()));
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
    const PlantRequest request = requestFor(selection_, QDateTime::currentDateTimeUtc());
    PlantView view =
        queryPlantView(connection_->db(), request, &last_, from, opener());
    if (!view.error.isEmpty()) {
        last_ = PlantView();  // the next read reads everything
        if (view.problem == Problem::Lost) return goAway(view.error);
        state_.trouble = view.error;  // refused or denied: said, and tried again later
        return emit stateChanged(state_);
    }
    last_ = view;
    state_.figuresAt = view.readAt;
    state_.trouble.clear();
    emit viewReady(view);
    emit stateChanged(state_);
}

}  // namespace quarn::plant
