#include "plantfeed/plant_feed.h"

namespace quarn::plantfeed {

PlantFeed::PlantFeed(const FeedSettings& settings, const PlantSelection& selection, QObject* parent)
    : QObject(parent), settings_(settings), worker_(new PlantWorker(settings)) {
    qRegisterMetaType<PlantView>();
    qRegisterMetaType<FeedState>();
    qRegisterMetaType<PlantSelection>();
    thread_.setObjectName(QStringLiteral("plant-queries"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &PlantWorker::viewReady, this, &PlantFeed::viewReady);
    connect(worker_, &PlantWorker::stateChanged, this, &PlantFeed::stateChanged);
    thread_.start();
    QMetaObject::invokeMethod(worker_, [w = worker_, selection] {
        w->select(selection);
        w->start();
    });
}

PlantFeed::~PlantFeed() {
    // The connection belongs to the worker's thread: dropped there.
    QMetaObject::invokeMethod(worker_, &PlantWorker::stop, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void PlantFeed::watch(const QList<PlantSelection>& selections) {
    QMetaObject::invokeMethod(worker_, [w = worker_, selections] { w->watch(selections); });
}

void PlantFeed::select(const PlantSelection& selection) {
    QMetaObject::invokeMethod(worker_, [w = worker_, selection] { w->select(selection); });
}

}  // namespace quarn::plantfeed
