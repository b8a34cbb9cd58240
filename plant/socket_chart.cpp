// The sockets' chart: each socket's failures and repeats, the flagged named.
#include "plant/socket_chart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QCoreApplication>
#include <QHorizontalBarSeries>
#include <QSet>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "record/socket_name.h"

namespace quarn::plant {

void clearChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
}

using record::perSession;

QString socketLabel(const record::SocketVerdict& v) {
    QString label = QStringLiteral("%1 %2")
                        .arg(v.count.station, record::socketShortName(v.count.slot))
                        .toHtmlEscaped();
    QStringList flags;
    if (v.flagged) flags << QCoreApplication::translate("quarn-plant", "failures");
    if (v.repeatsFlagged) flags << QCoreApplication::translate("quarn-plant", "repeats");
    if (v.worn) flags << QCoreApplication::translate("quarn-plant", "service");
    if (!flags.isEmpty())
        label += QStringLiteral(" · <span style=\"color:#d03030\"><b>%1</b></span>")
                     .arg(QCoreApplication::translate("quarn-plant", "check: %1")
                              .arg(flags.join(QStringLiteral(", ")))
                              .toHtmlEscaped());
    // Two lines at most: the axis hides a label taller than its bar's room.
    if (v.count.sinceService >= 0)
        label +=
            QStringLiteral("<br>") + QCoreApplication::translate("quarn-plant", "%1 since service")
                                         .arg(v.count.sinceService);
    return label;
}

double niceTickStep(double top) {
    const double power = std::pow(10.0, std::floor(std::log10(top / 10.0)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (top / (m * power) <= 10.0 + 1e-9) return m * power;
    return 10.0 * power;
}

int socketChartHeight(int sockets) { return 140 + 36 * std::min(sockets, kMaxSockets); }

namespace {

// Flagged first, then by failure rate; the worst at the top (a horizontal
// chart draws its first category at the bottom).
QList<record::SocketVerdict> chartOrder(QList<record::SocketVerdict> sockets) {
    std::stable_sort(sockets.begin(), sockets.end(), [](const auto& a, const auto& b) {
        if (record::anyFlag(a) != record::anyFlag(b)) return record::anyFlag(a);
        return perSession(a.count.failed, a.count.sessions) >
               perSession(b.count.failed, b.count.sessions);
    });
    sockets = sockets.mid(0, kMaxSockets);
    std::reverse(sockets.begin(), sockets.end());
    return sockets;
}

QBarSet* barSet(const QString& name, const QColor& flagged) {
    auto* set = new QBarSet(name);
    set->setSelectedColor(flagged);
    return set;
}

// The value axis from 0 past top, its ticks a round step apart.
QValueAxis* roundAxis(double top) {
    auto* x = new QValueAxis;
    const double step = niceTickStep(std::max(top, 1.0));
    x->setRange(0, step * std::ceil(std::max(top, 1.0) / step));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(step);
    x->setLabelFormat(QStringLiteral("%g"));
    x->setTitleText(QCoreApplication::translate("quarn-plant", "per 100 sessions"));
    return x;
}

}  // namespace

void drawSockets(QChart* chart, const plantfeed::PlantView& view) {
    clearChart(chart);
    const QList<record::SocketVerdict> sockets = chartOrder(view.sockets);
    QBarSet* failed =
        barSet(QCoreApplication::translate("quarn-plant", "failed"), QColor(0xd0, 0x30, 0x30));
    QBarSet* repeats = barSet(QCoreApplication::translate("quarn-plant", "block repeats"),
                              QColor(0x90, 0x10, 0x10));
    QStringList labels;
    QSet<QString> used;  // the axis keeps one bar per distinct label
    double top = 0;
    for (const record::SocketVerdict& v : sockets) {
        QString label = socketLabel(v);
        if (used.contains(label))
            label += QStringLiteral(" (%1)").arg(v.count.slot.toHtmlEscaped());
        used.insert(label);
        labels << label;
        const double f = 100.0 * perSession(v.count.failed, v.count.sessions);
        const double r = 100.0 * perSession(v.count.repeats, v.count.sessions);
        *failed << f, *repeats << r;
        if (v.flagged) failed->selectBar(int(labels.size() - 1));
        if (v.repeatsFlagged) repeats->selectBar(int(labels.size() - 1));
        top = std::max({top, f, r});
    }
    auto* series = new QHorizontalBarSeries;
    series->append(failed);
    series->append(repeats);
    chart->addSeries(series);
    auto* y = new QBarCategoryAxis;
    y->append(labels);
    y->setTruncateLabels(false);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    QValueAxis* x = roundAxis(top);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
}

}  // namespace quarn::plant
