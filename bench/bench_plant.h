#pragma once
// quarn-bench --plant: quarn-plant's window (offscreen, in this process)
// over `rows` rows (1,000,000 and more) from 20 stations over 30 days on a
// PostgreSQL server of the bench's own (fsync on): the first full view
// (window made to figures shown), the worker's read after a push, and a
// push's commit to the figures on screen; for the whole 30 days of rows and
// for today's. Above a million rows, the same figures first at the first
// million, and each figure's ratio to it beside it.

namespace bench {

// Prints the figures beside their targets; 0 when met (or not checked), else 1.
int runPlantBench(bool checkTargets, int rows);

}  // namespace bench

namespace testsupport {
class PgServer;
}

namespace bench {

// The plant's rows (the first million of `total`, or the rest), the
// summaries counted, vacuumed, as --plant fills them; false (said) on an error.
bool fillPlant(const testsupport::PgServer& pg, int total, bool first);

}  // namespace bench
