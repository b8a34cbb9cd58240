#pragma once
// The plant's views the pages show, each read once however many pages show
// it: the feed (plantfeed/plant_feed.h, a thread and a connection of its own,
// LISTEN) reads every selection a page asked for in the last kKeepMinutes,
// once per notification and once a minute for the clock, and each view read
// is kept here as JSON and announced on the event stream ("figures", {key,
// seq}). A page then fetches its view (/api/v1/plant), which is answered
// from here without touching the database; a selection no page asked for
// yet is read first, its request waiting meanwhile. The feed's state goes
// out as "state" ({mode, why, away_since, figures_at, trouble}); with the
// database away the last views stay and are served with that state.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <mutex>

#include "plantfeed/plant_feed.h"
#include "web/event_hub.h"
#include "web/http_server.h"

namespace quarn::web {

inline constexpr int kKeepMinutes = 15;
inline constexpr int kMaxSelections = 32;
inline constexpr int kFirstReadWaitMs = 30000;

class PlantViews : public QObject {
    Q_OBJECT
public:
    PlantViews(plantfeed::PlantFeed& feed, EventHub& hub, QObject* parent = nullptr);

    // Any thread: the view of the selection as /api/v1/plant answers it
    // ({"seq", "state", "view"}), to reply now or once it is read.
    void answer(const plantfeed::PlantSelection& selection, const Reply& reply);
    // Any thread: one of the view's CSVs (yield, causes, sockets: those of
    // plantfeed/plant_figures.h); false for another part.
    bool csv(const plantfeed::PlantSelection& selection, const QString& part, const Reply& reply);

private:
    struct Kept {
        plantfeed::PlantSelection selection;
        QByteArray json;  // empty: not read yet
        plantfeed::PlantView view;
        quint64 seq = 0;
        QDateTime asked;
    };
    using Make = std::function<HttpResponse(const Kept&)>;
    struct Waiting {
        QString key;
        Reply reply;
        QDateTime since;
        Make make;
    };
    void answerWith(const plantfeed::PlantSelection& selection, const Reply& reply,
                    const Make& make);

    void onView(const plantfeed::PlantView& view);
    void onState(const plantfeed::FeedState& state);
    void sweep();  // forgets selections no page asked for, answers waits too long
    HttpResponse response(const Kept& k) const;  // under mutex_ (answer's Make)
    void watchKept();                            // under mutex_

    plantfeed::PlantFeed& feed_;
    EventHub& hub_;
    mutable std::mutex mutex_;
    QHash<QString, Kept> kept_;
    QList<Waiting> waiting_;
    plantfeed::FeedState state_;
    QByteArray stateJson_ = "null";
    quint64 seq_ = 0;  // views read so far: a page compares its view's with the event's
    QTimer sweep_;
};

}  // namespace quarn::web
