#include "flash/record_keys.h"

#include "ports/port_map.h"

namespace quarn::flash {

void addStationKeys(gang::UnitRecord& r, const FlashOptions& o, const QByteArray& imageSha256) {
    r.station = o.station;
    r.operatorName = o.operatorName;
    r.serial = o.serials.value(r.port);
    // The stable name survives a re-plug into another socket; a port that
    // resolved to nothing is known only by the name it was given.
    r.slot = r.device.isEmpty() ? r.port : stableNameFor(r.device);
    r.imageSha256 = imageSha256;
}

}  // namespace quarn::flash
