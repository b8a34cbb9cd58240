#pragma once
// quarn-flash's look at the image before any port opens: the image line on
// standard error (not with -q), and, when the approved list is required,
// its verdict. Blocking (approval/image_gate.h).

#include <cstdio>

#include "approval/image_gate.h"
#include "flash/flash_options.h"

namespace quarn::flash {

// True when the image may be sent; then o.approved holds the records' word.
// False after the reason was written to err (the caller exits 8).
// *gate, when given, gets the verdict.
bool checkFlashImage(FlashOptions& o, std::FILE* err, approval::ImageGate* gate = nullptr);

}  // namespace quarn::flash
