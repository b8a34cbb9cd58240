#include "plant/plant_window.h"

#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "plant/plant_charts.h"
#include "plant/station_tiles.h"

namespace quarn::plant {

PlantWindow::PlantWindow(PlantFeed& feed, const PlantSelection& selection, QWidget* parent)
    : QMainWindow(parent), feed_(feed), selection_(selection) {
    setWindowTitle(QStringLiteral("Quarn Plant"));
    auto* central = new QWidget(this);
    auto* box = new QVBoxLayout(central);
    box->addWidget(filterBar());
    tiles_ = new StationTiles;
    auto* scroll = new QScrollArea;
    scroll->setWidget(tiles_);
    scroll->setWidgetResizable(true);
    tilesArea_ = scroll;
    box->addWidget(scroll);
    box->addWidget(chartTabs(), 1);
    setCentralWidget(central);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    statusBar()->addWidget(status_, 1);
    showState(state_);
    connect(&feed_, &PlantFeed::viewReady, this, &PlantWindow::showView);
    connect(&feed_, &PlantFeed::stateChanged, this, &PlantWindow::showState);
    // "N min ago" and "quiet for N min" move on without new records.
    minute_ = new QTimer(this);
    connect(minute_, &QTimer::timeout, this, &PlantWindow::showTiles);
    minute_->start(30000);
}

QWidget* PlantWindow::chartTabs() {
    tabs_ = new QTabWidget;
    const char* names[] = {"yieldChart", "causesChart", "socketsChart"};
    const char* titles[] = {"Yield per hour", "Failures by cause", "Sockets"};
    for (int i = 0; i < 3; ++i) {
        auto* view = new QChartView;
        view->setObjectName(QLatin1String(names[i]));
        view->setRenderHint(QPainter::Antialiasing);
        view->chart()->setTitle(QLatin1String(titles[i]));
        charts_ << view;
    }
    tabs_->addTab(charts_[0], QLatin1String(titles[0]));
    tabs_->addTab(charts_[1], QLatin1String(titles[1]));
    auto* sockets = new QWidget;
    auto* box = new QVBoxLayout(sockets);
    flagged_ = new QListWidget;
    flagged_->setObjectName(QStringLiteral("flagged"));
    flagged_->setAccessibleName(QStringLiteral("Flagged sockets"));
    flagged_->setMaximumHeight(90);
    box->addWidget(flagged_);
    box->addWidget(charts_[2], 1);
    tabs_->addTab(sockets, QLatin1String(titles[2]));
    return tabs_;
}

void PlantWindow::showView(const PlantView& view) {
    view_ = view;
    for (const StationTile& t : view.tiles)
        if (!stations_.contains(t.station)) stations_ << t.station;
    stations_.sort();
    station_->blockSignals(true);
    station_->clear();
    station_->addItem(QStringLiteral("every station"));
    station_->addItems(stations_);
    station_->setCurrentIndex(qMax(0, stations_.indexOf(selection_.station) + 1));
    station_->blockSignals(false);
    showTiles();
    showMismatches();
    drawYield(charts_[0]->chart(), view);
    drawCauses(charts_[1]->chart(), view);
    drawSockets(charts_[2]->chart(), view);
    flagged_->clear();
    for (const records::SocketVerdict& v : view.sockets)
        if (v.flagged) flagged_->addItem(records::socketWarning(v));
    if (!flagged_->count()) flagged_->addItem(QStringLiteral("no socket stands out"));
    emit shown();
}

void PlantWindow::showTiles() {
    tiles_->show(view_.tiles, QDateTime::currentDateTimeUtc());
    // Two rows of tiles at most; more scroll.
    const int rows =
        (int(view_.tiles.size()) + StationTiles::kColumns - 1) / StationTiles::kColumns;
    tilesArea_->setFixedHeight(qBound(1, rows, 2) * tiles_->rowHeight() + 4);
}

void PlantWindow::showMismatches() {
    // "-": the table was made before the server judged approvals.
    const qint64 n = view_.approvalMismatches;
    const QString text = QStringLiteral("Approval mismatches: %1")
                             .arg(n < 0 ? QStringLiteral("-") : QString::number(n));
    mismatches_->setText(text);
    mismatches_->setAccessibleName(text);
    mismatches_->setStyleSheet(n > 0 ? QStringLiteral("color: #b00020; font-weight: bold")
                                     : QString());
}

void PlantWindow::showState(const FeedState& state) {
    state_ = state;
    const QString text = stateText(state, feed_.settings().pollMs);
    status_->setText(text);
    status_->setAccessibleName(QStringLiteral("Status: ") + text);
}

}  // namespace quarn::plant
