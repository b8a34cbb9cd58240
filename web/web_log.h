#pragma once
// quarn-plant-web's log category, quarn.web: a line per start, stop and
// change of the database's state; libmicrohttpd's own words at the debug
// level (QT_LOGGING_RULES="quarn.web.debug=true" shows them). It never
// carries a URL's user information or a password (pg::redactedUrl).

#include <QLoggingCategory>

namespace quarn::web {
Q_DECLARE_LOGGING_CATEGORY(webLog)
}
