#include "plantfeed/feed_state.h"

#include <QCoreApplication>

namespace quarn::plantfeed {

QString stateText(const FeedState& s, int pollMs) {
    if (!s.trouble.isEmpty() && s.mode != FeedState::Mode::Away) {
        FeedState plain = s;
        plain.trouble.clear();
        return stateText(plain, pollMs) + QStringLiteral("; ") + s.trouble;
    }
    const QString at =
        s.figuresAt.isValid()
            ? QCoreApplication::translate("quarn-plant", "figures of %1")
                  .arg(s.figuresAt.toLocalTime().toString(QStringLiteral("HH:mm:ss")))
            : QCoreApplication::translate("quarn-plant", "no figures yet");
    switch (s.mode) {
        case FeedState::Mode::Connecting:
            return QCoreApplication::translate("quarn-plant", "connecting to the database");
        case FeedState::Mode::Live:
            return QCoreApplication::translate("quarn-plant",
                                               "live: new records show as they arrive; %1")
                .arg(at);
        case FeedState::Mode::Polling:
            return QCoreApplication::translate("quarn-plant", "polling every %1 s (%2); %3")
                .arg(pollMs / 1000)
                .arg(s.why, at);
        case FeedState::Mode::Away:
            return QCoreApplication::translate("quarn-plant",
                                               "database away since %1 (%2); %3; reconnecting")
                .arg(s.awaySince.toLocalTime().toString(QStringLiteral("HH:mm:ss")), s.why, at);
    }
    return QString();
}

}  // namespace quarn::plantfeed
