#include "core/logging.h"

namespace quarn {

// Debug off by default (QtInfoMsg): a rule in QT_LOGGING_RULES turns it on.
Q_LOGGING_CATEGORY(lcLink, "quarn.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGang, "quarn.gang", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPg, "quarn.pg", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPush, "quarn.push", QtInfoMsg)

}  // namespace quarn
