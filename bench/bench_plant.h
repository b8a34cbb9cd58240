#pragma once
// quarn-bench --plant: quarn-plant's window (offscreen, in this process)
// over 1,000,000 rows from 20 stations on a PostgreSQL server of the
// bench's own (fsync on): the first full view (window made to figures
// shown), the worker's read after a push, and a push's commit to the
// figures on screen. For the whole 30 days of rows and for today's.

namespace bench {

// Prints the figures beside their targets; 0 when met (or not checked), else 1.
int runPlantBench(bool checkTargets);

}  // namespace bench
