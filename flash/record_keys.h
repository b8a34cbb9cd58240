#pragma once
// The keys of a unit's record that come from the command line rather than the
// session: the station's name, the operator, the unit's serial number (from
// --serial for its port) and the adapter's stable name (slot).

#include "flash/flash_options.h"
#include "gang/unit.h"

namespace quarn::flash {

gang::RecordKeys recordKeysFor(const FlashOptions& o, const UnitTarget& target);

// The job of the unit on target: the image read once, the options' limits and keys.
gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target);

}  // namespace quarn::flash
