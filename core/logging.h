#pragma once
// A logging category for each room that talks to the outside, for what a technician or an operator
// of the plant may want to see without a rebuild. Debug messages are off unless a rule turns them
// on, e.g.
//     QT_LOGGING_RULES="quarn.link.debug=true" quarn-flash -p COM1 Init.txt
//     QT_LOGGING_RULES="quarn.*.debug=true" quarn-station
// Warnings and errors of every category are on. What each category says:
//   quarn.link      every exchange with a unit: the bytes both ways, each
//                   wait and its outcome (docs/protocol.md)
//   quarn.gang      each unit's sessions: their start and how they ended
//   quarn.pg        connections to the records' database: opened, refused, lost
//   quarn.push      the push: batches sent and answered, failed attempts

#include <QLoggingCategory>

namespace quarn {

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcGang)
Q_DECLARE_LOGGING_CATEGORY(lcPg)
Q_DECLARE_LOGGING_CATEGORY(lcPush)

}  // namespace quarn
