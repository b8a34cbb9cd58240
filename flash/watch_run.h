#pragma once
// quarn-flash --watch: Auto-start on every port (gang/watch.h), without a
// window, for fixtures run as a service. Standard error gets one plain line
// per event (listening, each stage and quarter of the blocks, the outcome,
// "remove the unit"); each session's record goes to the log, then (--json)
// to standard output. Runs until a byte arrives on signalFd (the signal
// handler's pipe): then every session being loaded stops as Cancel does, its
// record is written, and the exit status is 130 when one was being loaded,
// else 7 when a record could not be written to the log, else 0. Each port is
// looked up again before every attempt (gang/job_builder.h).

#include "flash/flash_options.h"

namespace quarn::flash {

int runWatch(const FlashOptions& o, int signalFd);

}  // namespace quarn::flash
