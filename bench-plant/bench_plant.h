#pragma once
// quarn-bench --plant: the plant's figures over `rows` rows (1,000,000 and
// more) of a plant's 30 days (server_statements.h) on a PostgreSQL server of
// the bench's own (fsync on), each as a user meets it, from the program's
// start: `quarn-records report --by slot --since TODAY` and `--by station`
// over every row, quarn-plant's views of the last 30 days (--since) and of
// today from the program's start to every station's tile showing its yield
// (a fresh process of this bench's own, which opens the window as
// quarn-plant does), and `quarn-records push` of 20,000 new records from a
// log of every station; then, in this process, the first full view (the
// window made to its figures), the window's read after a push and a push's
// commit to the figures on screen. Above a million rows, the same figures
// first at the first million, and each figure's ratio to it beside it.

#include <QString>

#include "bench-plant/server_statements.h"

namespace bench {

struct PlantBenchOptions {
    QString recordsPath;  // quarn-records
    QString benchPath;    // this program, for the window's fresh process
    bool checkTargets = true;
    qint64 rows = kBaseRows;
    PlantShape shape;  // --stations, --sockets
};

// Prints the figures beside their targets; 0 when met (or not checked), else 1.
int runPlantBench(const PlantBenchOptions& options);

// In a fresh process (--plant-view): quarn-plant's window over the database,
// showing today's figures, or those since the date (yyyy-mm-dd) when one is
// given. Prints "shown" once every station's tile shows its yield and
// exits 0; 1 when that has not happened within two minutes.
int runPlantView(const QString& url, const QString& since);

}  // namespace bench

namespace testsupport {
class PgServer;
}

namespace bench {

// The plant's rows (the first million of `total`, or the rest), the
// summaries counted, vacuumed, as --plant fills them; false (said) on an error.
bool fillPlant(const testsupport::PgServer& pg, const PlantBenchOptions& o, bool first);

}  // namespace bench
