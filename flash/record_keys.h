#pragma once
// The keys of a record that come from the station rather than the session:
// the station's name, the operator, the unit's serial number (from --serial
// for its port), the adapter's stable name (slot), and the hash of the image
// the session set out to send.

#include <QByteArray>

#include "flash/flash_options.h"
#include "gang/unit_record.h"

namespace quarn::flash {

void addStationKeys(gang::UnitRecord& r, const FlashOptions& o, const QByteArray& imageSha256);

}  // namespace quarn::flash
