#pragma once
// quarn-flash --watch: Auto-start on every port (gang/watch.h), without a
// window, for fixtures run as a service. Standard error gets one plain line
// per event (listening, each stage and quarter of the blocks, the outcome,
// "remove the unit"); each session's record goes to the log, then (--json)
// to standard output. Runs until a byte arrives on signalFd (the signal
// handler's pipe): then every session being loaded stops as Cancel does and
// its record is written; the log is tried once more, and every record it
// still does not take goes to standard error as a JSON line (the journal
// keeps it). The exit status is 7 when a record could not be written to the
// log, else 130 when a session was being loaded, else 0. Each port is looked
// up again before every attempt (gang/job_builder.h).
//
// With the approved list required (o.approvedOnly), the list is read again
// every minute ($QUARN_APPROVAL_RECHECK_MS when set) from the verdict the
// start made (gate): while it does not allow the image, units loading finish
// and no unit is loaded; each change of the verdict is one line.

#include "approval/image_gate.h"
#include "flash/flash_options.h"

namespace quarn::flash {

int runWatch(const FlashOptions& o, int signalFd, const approval::ImageGate& gate);

}  // namespace quarn::flash
