#pragma once
// quarn-plant's window: the filter bar, the station tiles, a tab per chart
// and the status bar. It only shows what its PlantFeed delivers and passes
// the filters back to it; every query runs on the feed's thread, so the
// window never waits on the database. With the database away the last
// figures stay, the status bar saying of when.

#include <QMainWindow>

#include "plantfeed/plant_feed.h"

class QLabel;
class QTimer;

namespace quarn::plant {

class ChartTabs;
class FilterBar;
class StationTiles;

class PlantWindow : public QMainWindow {
    Q_OBJECT
public:
    // selection: the first one (its period Since when --since was given).
    PlantWindow(plantfeed::PlantFeed& feed, const plantfeed::PlantSelection& selection,
                QWidget* parent = nullptr);

    const plantfeed::PlantView& view() const { return view_; }
    const plantfeed::FeedState& state() const { return state_; }
    // The chart of a tab (0 yield, 1 causes, 2 sockets) as PNG, its figures
    // as CSV. False with *why when the file cannot be written.
    bool exportPng(int tab, const QString& path, QString* why) const;
    bool exportCsv(int tab, const QString& path, QString* why) const;
    // The current tab's chart (png) or figures into path; a failure is said
    // in a message box. False when it failed.
    bool exportCurrent(bool png, const QString& path) const;

signals:
    void shown();  // after new figures are on screen

private:
    void showView(const plantfeed::PlantView& view);
    void showState(const plantfeed::FeedState& state);
    void showTiles();
    void reselect();
    void askExport(bool png);

    plantfeed::PlantFeed& feed_;
    plantfeed::PlantSelection selection_;
    plantfeed::PlantView view_;
    plantfeed::FeedState state_;
    FilterBar* filters_ = nullptr;
    StationTiles* tiles_ = nullptr;
    QWidget* tilesArea_ = nullptr;
    ChartTabs* charts_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* minute_ = nullptr;
};

}  // namespace quarn::plant
