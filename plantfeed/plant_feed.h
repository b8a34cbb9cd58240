#pragma once
// The plant's figures for the window's thread: a PlantWorker on a thread of
// its own, so that no query ever runs on the window's thread. Signals arrive
// on the thread that made the feed. Destroying the feed stops the worker
// (waiting for a read in flight) and ends its thread.

#include <QObject>
#include <QThread>

#include "plantfeed/plant_worker.h"

namespace quarn::plantfeed {

class PlantFeed : public QObject {
    Q_OBJECT
public:
    explicit PlantFeed(const FeedSettings& settings, const PlantSelection& selection,
                       QObject* parent = nullptr);
    ~PlantFeed() override;

    const FeedSettings& settings() const { return settings_; }
    // Reads the figures again for this selection (queued to the worker).
    void select(const PlantSelection& selection);
    // Reads these selections together (PlantWorker::watch), queued to the worker.
    void watch(const QList<PlantSelection>& selections);

signals:
    void viewReady(const quarn::plantfeed::PlantView& view);
    void stateChanged(const quarn::plantfeed::FeedState& state);

private:
    FeedSettings settings_;
    QThread thread_;
    PlantWorker* worker_;
};

}  // namespace quarn::plantfeed
