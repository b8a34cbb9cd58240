#include "plant/plant_window.h"

#include <QFileDialog>
#include <QLabel>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/message_box.h"
#include "plant/chart_tabs.h"
#include "plant/filter_bar.h"
#include "plant/plant_charts.h"
#include "plant/station_tiles.h"

namespace quarn::plant {

PlantWindow::PlantWindow(plantfeed::PlantFeed& feed, const plantfeed::PlantSelection& selection,
                         QWidget* parent)
    : QMainWindow(parent), feed_(feed), selection_(selection) {
    setWindowTitle(QStringLiteral("Quarn Plant"));
    auto* central = new QWidget(this);
    auto* box = new QVBoxLayout(central);
    filters_ = new FilterBar(selection);
    box->addWidget(filters_);
    tiles_ = new StationTiles;
    auto* scroll = new QScrollArea;
    scroll->setWidget(tiles_);
    scroll->setWidgetResizable(true);
    tilesArea_ = scroll;
    box->addWidget(scroll);
    charts_ = new ChartTabs;
    box->addWidget(charts_, 1);
    setCentralWidget(central);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    statusBar()->addWidget(status_, 1);
    showState(state_);
    connect(filters_, &FilterBar::edited, this, &PlantWindow::reselect);
    connect(filters_, &FilterBar::exportAsked, this, &PlantWindow::askExport);
    connect(&feed_, &plantfeed::PlantFeed::viewReady, this, &PlantWindow::showView);
    connect(&feed_, &plantfeed::PlantFeed::stateChanged, this, &PlantWindow::showState);
    // "N min ago" and "quiet for N min" move on without new records.
    minute_ = new QTimer(this);
    connect(minute_, &QTimer::timeout, this, &PlantWindow::showTiles);
    minute_->start(30000);
}

void PlantWindow::showView(const plantfeed::PlantView& view) {
    view_ = view;
    filters_->offerStations(view.tiles, selection_.station);
    filters_->showMismatches(view.approvalMismatches);
    filters_->showImageUnits(view.imageUnits);
    showTiles();
    charts_->draw(view);
    emit shown();
}

void PlantWindow::showTiles() {
    tiles_->show(view_.tiles, QDateTime::currentDateTimeUtc());
    // Two rows of tiles at most; more scroll.
    const int rows =
        (int(view_.tiles.size()) + StationTiles::kColumns - 1) / StationTiles::kColumns;
    tilesArea_->setFixedHeight(qBound(1, rows, 2) * tiles_->rowHeight() + 4);
}

void PlantWindow::showState(const plantfeed::FeedState& state) {
    state_ = state;
    const QString text = plantfeed::stateText(state, feed_.settings().pollMs);
    status_->setText(text);
    status_->setAccessibleName(tr("Status: %1").arg(text));
}

void PlantWindow::reselect() {
    const plantfeed::PlantSelection s = filters_->selection();
    if (s.period == selection_.period && s.station == selection_.station &&
        s.image == selection_.image)
        return;
    selection_ = s;
    feed_.select(s);
}

bool PlantWindow::exportPng(int tab, const QString& path, QString* why) const {
    return charts_->exportPng(tab, path, why);
}

bool PlantWindow::exportCsv(int tab, const QString& path, QString* why) const {
    return charts_->exportCsv(tab, view_, path, why);
}

void PlantWindow::askExport(bool png) {
    const int tab = charts_->currentIndex();
    const QString path = QFileDialog::getSaveFileName(
        this, png ? tr("Export the chart") : tr("Export the figures"),
        QLatin1String(kCharts[size_t(tab)].fileStem) + (png ? ".png" : ".csv"),
        png ? tr("PNG (*.png)") : tr("CSV (*.csv)"));
    if (!path.isEmpty()) exportCurrent(png, path);
}

bool PlantWindow::exportCurrent(bool png, const QString& path) const {
    const int tab = charts_->currentIndex();
    QString why;
    if (png ? exportPng(tab, path, &why) : exportCsv(tab, path, &why)) return true;
    showBox({png ? tr("The chart was not exported.") : tr("The figures were not exported."),
             BoxIcon::Exclamation, BoxButtons::Ok, QStringLiteral("Quarn Plant"), why});
    return false;
}

}  // namespace quarn::plant
