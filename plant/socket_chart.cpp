// The sockets' chart: each socket's failure rate, the flagged ones apart.
#include "plant/socket_chart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QCoreApplication>
#include <QHorizontalStackedBarSeries>
#include <QValueAxis>
#include <algorithm>

#include "plant/plant_charts.h"

namespace quarn::plant {

QString shortSlot(const QString& slot) {
    const QString name = slot.mid(slot.lastIndexOf(QLatin1Char('/')) + 1);
    // By-path names differ at their end (the hub's port): keep that.
    return name.size() > 16 ? QStringLiteral("…") + name.right(15) : name;
}

void drawSockets(QChart* chart, const PlantView& view) {
    clearChart(chart);
    QList<records::SocketVerdict> sockets = view.sockets;
    auto rate = [](const records::SocketVerdict& v) {
        return v.count.sessions ? double(v.count.failed) / double(v.count.sessions) : 0.0;
    };
    std::stable_sort(sockets.begin(), sockets.end(), [&](const auto& a, const auto& b) {
        return a.flagged != b.flagged ? a.flagged : rate(a) > rate(b);
    });
    sockets = sockets.mid(0, kMaxSockets);
    std::reverse(sockets.begin(), sockets.end());  // the worst at the top
    auto* plain = new QBarSet(QCoreApplication::translate("quarn-plant", "failure rate %"));
    auto* flagged = new QBarSet(QCoreApplication::translate("quarn-plant", "flagged"));
    flagged->setColor(QColor(0xd0, 0x30, 0x30));
    QStringList labels;
    for (const records::SocketVerdict& v : sockets) {
        labels << QStringLiteral("%1 %2").arg(v.count.station, shortSlot(v.count.slot));
        *plain << (v.flagged ? 0.0 : 100.0 * rate(v));
        *flagged << (v.flagged ? 100.0 * rate(v) : 0.0);
    }
    auto* series = new QHorizontalStackedBarSeries;
    series->append(plain);
    series->append(flagged);
    chart->addSeries(series);
    auto* y = new QBarCategoryAxis;
    y->append(labels);
    y->setTruncateLabels(false);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    auto* x = new QValueAxis;
    x->setTitleText(QCoreApplication::translate("quarn-plant", "failed %"));
    x->setLabelFormat(QStringLiteral("%d"));
    double top = 1;
    for (const records::SocketVerdict& v : sockets) top = qMax(top, 100.0 * rate(v));
    x->setRange(0, top);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
}

}  // namespace quarn::plant
