#pragma once
// A new record's id: a UUID of version 7 (RFC 9562), its first 48 bits the
// milliseconds since 1970 of its making, the rest random. Ids made later
// sort later, so the database's index of ids takes a push's new ids at its
// right-hand edge (a few pages a batch) instead of one page an id all over
// it; records of any earlier version's random ids are ids all the same.

#include <QString>

namespace quarn::record {

// "0193a3f2-7c41-7a0e-9b5d-2f4c8e1a6b70": lower case, without braces.
QString newRecordId();

}  // namespace quarn::record
