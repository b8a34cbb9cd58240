#pragma once
// What the plant's database side is told (FeedSettings) and what it says of
// itself (FeedState), and the status bar's words for that. Qt Core only.

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include "core/settings.h"

namespace quarn::plantfeed {

struct FeedSettings {
    QString databaseUrl;
    int checkMs = 5000;  // how often the connection is checked, or tried again
    int pollMs = 30000;  // the polling interval without notifications
    int probeMs = 3000;  // how long the probe may take to come back
    // The least time between two reads of everything that notifications
    // naming no day (empty, malformed, anybody's pg_notify) bring about:
    // however many come, they cost one such read a minute.
    int fullReadMs = 60000;
    // How often today's figures are read again without a push (0: never):
    // the tiles' last hour and quiet minutes move with the clock.
    int tickMs = 0;
    // Sessions a socket takes between services ([plant] socket-life; 0: no limit).
    qint64 socketLife = settingDefault(SettingKey::PlantSocketLife).toLongLong();
};

struct FeedState {
    enum class Mode { Connecting, Live, Polling, Away };
    Mode mode = Mode::Connecting;
    QString why;          // Polling: why notifications cannot arrive; Away: the error
    QDateTime awaySince;  // Away: since when
    QDateTime figuresAt;  // when the figures shown were read (invalid: none yet)
    QString trouble;      // the last read's refusal (no permission, ...); empty after a good one
};

// The status bar's words for the state ("live: ...", "polling every 30 s: ...",
// "database away since HH:mm: ...; figures of HH:mm:ss; reconnecting").
QString stateText(const FeedState& s, int pollMs);

}  // namespace quarn::plantfeed

Q_DECLARE_METATYPE(quarn::plantfeed::FeedState)
