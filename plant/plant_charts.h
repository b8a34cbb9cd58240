#pragma once
// The window's charts, one table of them in the order of their tabs: each
// one's name (for tests and screen readers), title, the file name an export
// suggests, how it is drawn from the figures (Qt Charts, replacing what it
// showed before) and its figures as CSV (plant_figures.h):
//   yield:   first-pass yield per hour, a line per station (x: the hour's
//            start, y: 0..100 %); an hour without units has no point;
//   causes:  a Pareto of the failures by outcome and stage, the most
//            frequent first (at most kMaxCauses bars, the rest as "other"),
//            with the cumulative share as a line;
//   sockets: socket_chart.h.

#include <QByteArray>
#include <array>

#include "plantfeed/plant_queries.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quarn::plant {

constexpr int kMaxCauses = 12;

void drawYield(QChart* chart, const plantfeed::PlantView& view);
void drawCauses(QChart* chart, const plantfeed::PlantView& view);

struct ChartKind {
    const char* name;      // the chart view's object name
    const char* title;     // the tab's and the chart's, before translation ("quarn-plant")
    const char* fileStem;  // "yield-per-hour": the export's suggested file, without its suffix
    void (*draw)(QChart* chart, const plantfeed::PlantView& view);
    QByteArray (*csv)(const plantfeed::PlantView& view);
};

// Yield per hour, failures by cause, sockets.
extern const std::array<ChartKind, 3> kCharts;

}  // namespace quarn::plant
