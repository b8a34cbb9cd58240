#pragma once
// The short name a person uses for a socket, from the stable name a record
// keeps in "slot" (gang/job_builder.h slotNameFor): the hub's socket of a
// by-path link ("USB 1.3", "USB 1.3/2" for a second port of one adapter),
// the maker and serial number of a by-id link ("FTDI A50285BI"), a device
// path without /dev/ ("ttyUSB0", "pts/3"), else the name's last part. The
// station's tiles and the plant's sockets chart both say it.

#include <QString>

namespace quarn::record {

QString socketShortName(const QString& stableName);

}  // namespace quarn::record
