#pragma once
// quarn-bench --records, continued: one unit's history (trace) and the
// recall list (units --image) over 10,000,000 rows, on the bench's server.

#include "tests/support/pg_server.h"

namespace bench {

// Fills quarn_sessions up to 10,000,000 rows (what it holds already stays),
// then times each query as quarn-records runs it (its connection included)
// and prints the medians beside the target. True when both are met.
bool runRecallBench(const testsupport::PgServer& pg);

}  // namespace bench
