#pragma once
// The schema as the programs name it. What it is, table by table and
// function by function, is said in its SQL files (database/sql/, applied
// by database/migrations.h): the sessions (0001), the rules every figure
// shares (0002), the approved list and the server's word on each session
// (0003), the summaries (0004), the sockets' service log (0005), how a
// station adds rows and asks its attempts (0006), the roles' rights (0007),
// each id once (0008), the units (0009), the summaries by hour and day kept
// without a plant-wide turn (0010), each socket's sessions since service
// (0011), how they all move (0012), the roles' rights again (0013).

namespace quarn::database {

// The group role each kind of work needs, for "not permitted" messages.
inline constexpr char kStationRole[] = "quarn_station";
inline constexpr char kEngineerRole[] = "quarn_engineer";
inline constexpr char kViewerRole[] = "quarn_viewer";

// NOTIFY's channel: once per statement that inserted rows into
// quarn_sessions, delivered when its transaction commits; the payload is
// the earliest started of the rows it inserted (ISO 8601, UTC,
// "2026-12-08T06:00:00.000Z"), empty when none had one.
inline constexpr char kSessionsChannel[] = "quarn_sessions";

}  // namespace quarn::database
