#pragma once
// How a session ended, and the one name each outcome has in a record, its
// log line, the database and every report: "good", "input", "port",
// "handshake", "login", "transfer", "interrupted", "held". The names are keys,
// never translated.

#include <QString>
#include <QStringList>
#include <optional>

namespace quarn::record {

// Good, or the step that failed; interrupted when a stop was requested
// (requestStop(), the owner closing) and the session did not end good; held
// when the retest limit refused the unit before anything was sent to it (a
// record, but no session: record/retest.h).
enum class SessionOutcome { Good, Input, Port, Handshake, Login, Transfer, Interrupted, Held };

// The outcome that is good, and the one that is no pass (record/first_pass.h).
inline constexpr char kGoodOutcome[] = "good";
inline constexpr char kNoPassOutcome[] = "interrupted";
inline constexpr char kHeldOutcome[] = "held";

QString outcomeName(SessionOutcome outcome);
// The outcome of that name; none for a name no outcome has.
std::optional<SessionOutcome> outcomeFromName(const QString& name);
// Every outcome but good and held, in the enum's order: the reports' failure
// columns. A held record is no session, so it is no failure either.
const QStringList& failingOutcomes();

// The stage a session stopped at, as the failures' Pareto names it: the
// block its message names ("block 5 of 32"), else its outcome. The
// database's summaries say the same in SQL (figures/rules_sql.h stageSql).
QString sessionStage(const QString& outcome, const QString& message);

}  // namespace quarn::record
