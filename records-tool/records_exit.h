#pragma once
// What quarn-records' commands share: the exit statuses (records_cli.h says
// when each is given), the program's front door and its one way of writing a
// line. Each command (history, images, sockets) and the command line itself
// include this; none of them includes another.

#include <QString>
#include <cstdio>

#include "core/front_door.h"

namespace quarn::records {

enum RecordsExit {
    kRecordsDone = 0,
    kRecordsUsage = 1,
    kRecordsUnreachable = 2,
    kRecordsDenied = 3,
};

// quarn-records' door: its errors as "quarn-records: TEXT" on standard error.
const FrontDoor& recordsDoor();

// One line of text on to (standard output or error), in the locale's encoding.
void sayLine(FILE* to, const QString& text);

}  // namespace quarn::records
