#pragma once
// The plant's database side, on a thread of its own (PlantFeed starts it):
// its own connection, made on that thread; LISTEN for the sessions table's
// NOTIFY; the figures read again at each notification (the days it names;
// everything, at most once per fullReadMs, for one that names none), or
// every pollMs when notifications cannot arrive; the connection checked every checkMs and
// made again after the server went away. Every figure it reads goes out as
// viewReady; every change of its state as stateChanged.
//
// Notifications count as arriving only once a probe (a NOTIFY this
// connection sends to itself) came back: a pooler that takes the LISTEN but
// never delivers (transaction pooling) leaves the worker polling.

#include <QElapsedTimer>
#include <QObject>
#include <QSqlDriver>
#include <QString>
#include <QTimer>
#include <memory>

#include "pg/connection.h"
#include "plantfeed/feed_state.h"
#include "plantfeed/plant_figures.h"
#include "plantfeed/plant_queries.h"

namespace quarn::plantfeed {

class PlantWorker : public QObject {
    Q_OBJECT
public:
    explicit PlantWorker(FeedSettings settings);
    ~PlantWorker() override;

public slots:
    void start();  // on the worker's thread
    void stop();   // drops the connection and the timers
    void select(const quarn::plantfeed::PlantSelection& selection);  // and reads again
    // Several selections read together, at each notification one after the
    // other on the one connection; each view goes out with its key. A
    // selection new to the list is read at once; the others keep their
    // figures and are merged with at the next push.
    void watch(const QList<quarn::plantfeed::PlantSelection>& selections);

signals:
    void viewReady(const quarn::plantfeed::PlantView& view);
    void stateChanged(const quarn::plantfeed::FeedState& state);

private:
    // Connections like the worker's own, for the reads of every row made at once.
    ConnectionOpener opener() const;
    void connectNow();
    void listen();
    void check();
    void refresh();         // every figure read again
    void refreshChanged();  // only the days the notifications since the last read named
    void scheduleRefresh(const QVariant& payload);
    void scheduleFullRead();  // now, or once fullReadMs after the last one
    void goAway(const QString& why);
    void setMode(FeedState::Mode mode, const QString& why = QString());
    void onNotification(const QString& name, QSqlDriver::NotificationSource source,
                        const QVariant& payload);

    FeedSettings settings_;
    struct Watched {
        PlantSelection selection;
        PlantView last;  // the figures last read, merged with at a push
    };
    QList<Watched> watched_{Watched{PlantSelection{}, {}}};  // the default view until told
    // Reads one selection's figures again from the UTC day of from on
    // (invalid: everything); false when the connection went away.
    bool read(Watched& w, const QDateTime& from);
    FeedState state_;
    std::unique_ptr<pg::Connection> connection_;
    QTimer* check_ = nullptr;
    QTimer* poll_ = nullptr;
    QTimer* probe_ = nullptr;
    QTimer* soon_ = nullptr;   // coalesces a burst of notifications into one read
    QTimer* later_ = nullptr;  // the read of everything put off till fullReadMs is up
    QTimer* tick_ = nullptr;   // today's figures again, as the clock moves
    QElapsedTimer fullRead_;   // since the last read of everything (invalid: none yet)
    QString probeText_;
    QDateTime changedFrom_;       // the earliest start the waiting notifications named
    bool changedAll_ = false;     // a waiting notification named no start: read everything
    bool readsSummaries_ = true;  // this login reads the summaries (the ledger's look)
};

}  // namespace quarn::plantfeed
