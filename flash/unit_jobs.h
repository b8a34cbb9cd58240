#pragma once
// quarn-flash's units as the gang's job builder makes them (gang/job_builder.h):
// what the command line shares between every unit (the image, --station,
// --operator, --max-repeats) and each unit's own port and --serial.

#include "flash/flash_options.h"
#include "gang/job_builder.h"

namespace quarn::flash {

gang::JobBase jobBaseFor(const FlashOptions& o);

// The job of the unit on target, its port looked up now.
gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target);

}  // namespace quarn::flash
