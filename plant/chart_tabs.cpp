#include "plant/chart_tabs.h"

#include <QChartView>
#include <QCoreApplication>
#include <QListWidget>
#include <QSaveFile>
#include <QScrollArea>
#include <QVBoxLayout>

#include "plant/plant_charts.h"
#include "plant/socket_chart.h"

namespace quarn::plant {

ChartTabs::ChartTabs(QWidget* parent) : QTabWidget(parent) {
    for (const ChartKind& kind : kCharts) {
        auto* view = new QChartView;
        view->setObjectName(QLatin1String(kind.name));
        view->setRenderHint(QPainter::Antialiasing);
        const QString title = QCoreApplication::translate("quarn-plant", kind.title);
        view->chart()->setTitle(title);
        charts_ << view;
        if (&kind != &kCharts.back()) {
            addTab(view, title);
            continue;
        }
        // The sockets: the flagged ones listed above the chart, which
        // scrolls when its sockets need more room than the tab has.
        auto* sockets = new QWidget;
        auto* box = new QVBoxLayout(sockets);
        flagged_ = new QListWidget;
        flagged_->setObjectName(QStringLiteral("flagged"));
        flagged_->setAccessibleName(tr("Flagged sockets"));
        flagged_->setMaximumHeight(90);
        box->addWidget(flagged_);
        auto* scroll = new QScrollArea;
        scroll->setObjectName(QStringLiteral("socketsScroll"));
        scroll->setWidgetResizable(true);
        scroll->setWidget(view);
        box->addWidget(scroll, 1);
        addTab(sockets, title);
    }
}

void ChartTabs::draw(const plantfeed::PlantView& view) {
    for (int i = 0; i < charts_.size(); ++i) kCharts[size_t(i)].draw(charts_[i]->chart(), view);
    flagged_->clear();
    charts_.last()->setMinimumHeight(socketChartHeight(int(view.sockets.size())));
    for (const record::SocketVerdict& v : view.sockets)
        flagged_->addItems(record::socketWarnings(v));
    if (!flagged_->count()) flagged_->addItem(tr("no socket stands out"));
}

bool ChartTabs::exportPng(int tab, const QString& path, QString* why) const {
    if (tab < 0 || tab >= charts_.size()) return *why = tr("no such chart"), false;
    if (charts_[tab]->grab().save(path, "PNG")) return true;
    *why = tr("cannot write %1").arg(path);
    return false;
}

bool ChartTabs::exportCsv(int tab, const plantfeed::PlantView& view, const QString& path,
                          QString* why) const {
    if (tab < 0 || tab >= charts_.size()) return *why = tr("no such chart"), false;
    const QByteArray text = kCharts[size_t(tab)].csv(view);
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = tr("cannot write %1: %2").arg(path, f.errorString());
    return false;
}

}  // namespace quarn::plant
