#pragma once
// The window's charts, a tab each (plant_charts.h's table), the sockets'
// tab with the flagged sockets listed above its chart ("Flagged sockets" to
// a screen reader). Each tab's chart exports as PNG, its figures as CSV.

#include <QList>
#include <QTabWidget>

#include "plantfeed/plant_queries.h"

class QListWidget;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace quarn::plant {

class ChartTabs : public QTabWidget {
    Q_OBJECT
public:
    explicit ChartTabs(QWidget* parent = nullptr);

    // Every chart drawn again, and the flagged sockets listed, from view.
    void draw(const plantfeed::PlantView& view);
    // The chart of a tab (0 yield, 1 causes, 2 sockets) as PNG; the
    // figures of view it shows as CSV. False with *why when the file cannot
    // be written.
    bool exportPng(int tab, const QString& path, QString* why) const;
    bool exportCsv(int tab, const plantfeed::PlantView& view, const QString& path,
                   QString* why) const;

private:
    QList<QChartView*> charts_;  // in the order of kCharts
    QListWidget* flagged_ = nullptr;
};

}  // namespace quarn::plant
