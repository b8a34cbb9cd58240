#include "plant/plant_charts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QHorizontalStackedBarSeries>
#include <QLineSeries>
#include <QMap>
#include <QValueAxis>

#include "plant/socket_chart.h"
#include "plantfeed/plant_figures.h"

namespace quarn::plant {

namespace {

QValueAxis* percentAxis(QChart* chart, Qt::Alignment side, const QString& title) {
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setTitleText(title);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(y, side);
    return y;
}

}  // namespace

const std::array<ChartKind, 3> kCharts{{
    {"yieldChart", QT_TRANSLATE_NOOP("quarn-plant", "Yield per hour"), "yield-per-hour", drawYield,
     plantfeed::yieldCsv},
    {"causesChart", QT_TRANSLATE_NOOP("quarn-plant", "Failures by cause"), "failures-by-cause",
     drawCauses, plantfeed::causesCsv},
    {"socketsChart", QT_TRANSLATE_NOOP("quarn-plant", "Sockets"), "sockets", drawSockets,
     plantfeed::socketsCsv},
}};

void drawYield(QChart* chart, const plantfeed::PlantView& view) {
    clearChart(chart);
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("dd.MM HH:mm"));
    x->setTitleText(QCoreApplication::translate("quarn-plant", "hour"));
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* y = percentAxis(chart, Qt::AlignLeft,
                                QCoreApplication::translate("quarn-plant", "first-pass yield %"));
    QMap<QString, QLineSeries*> lines;
    QDateTime first, last;
    for (const plantfeed::HourYield& h : view.hours) {
        if (!h.units) continue;
        QLineSeries*& line = lines[h.station];
        if (!line) {
            line = new QLineSeries;
            line->setName(h.station);
            line->setPointsVisible(true);
        }
        line->append(double(h.hour.toMSecsSinceEpoch()), 100.0 * h.firstPassGood / h.units);
        first = first.isValid() ? qMin(first, h.hour) : h.hour;
        last = last.isValid() ? qMax(last, h.hour) : h.hour;
    }
    for (QLineSeries* line : lines) {
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
    }
    if (first.isValid()) x->setRange(first.toLocalTime(), last.addSecs(3600).toLocalTime());
}

void drawCauses(QChart* chart, const plantfeed::PlantView& view) {
    clearChart(chart);
    auto* bars = new QBarSet(QCoreApplication::translate("quarn-plant", "failures"));
    QStringList labels;
    qint64 total = 0, other = 0;
    for (const plantfeed::FailureCause& c : view.causes) {
        total += c.count;
        if (labels.size() < kMaxCauses) {
            labels << plantfeed::causeLabel(c);
            *bars << double(c.count);
        } else {
            other += c.count;
        }
    }
    if (other)
        labels << QCoreApplication::translate("quarn-plant", "other"), *bars << double(other);
    auto* series = new QBarSeries;
    series->append(bars);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setLabelsAngle(-45);
    x->setTruncateLabels(false);
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QValueAxis;
    y->setTitleText(QCoreApplication::translate("quarn-plant", "failures"));
    y->setLabelFormat(QStringLiteral("%d"));
    double top = 1;
    for (int i = 0; i < bars->count(); ++i) top = qMax(top, bars->at(i));
    y->setRange(0, top);
    series->attachAxis(x);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    auto* cumulative = new QLineSeries;
    cumulative->setName(QCoreApplication::translate("quarn-plant", "cumulative %"));
    double sum = 0;
    for (int i = 0; i < bars->count(); ++i)
        cumulative->append(i, total ? 100.0 * (sum += bars->at(i)) / double(total) : 0);
    chart->addSeries(cumulative);
    cumulative->attachAxis(x);
    cumulative->attachAxis(percentAxis(chart, Qt::AlignRight,
                                       QCoreApplication::translate("quarn-plant", "cumulative %")));
}

}  // namespace quarn::plant
