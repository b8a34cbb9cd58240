#pragma once
// Where a session stands, in the words every front end shows: "opening",
// "quiet line", "handshake", "pause", "login", "block K of N" (K the block
// being sent: one past those answered), "done"; in the language of the
// catalogue the program loaded, if any.

#include <QString>

#include "link/download_link.h"

namespace quarn {

QString stageText(LinkStage stage, int answered, int total);

}  // namespace quarn
