#include "web/web_log.h"

namespace quarn::web {
Q_LOGGING_CATEGORY(webLog, "quarn.web", QtInfoMsg)
}
