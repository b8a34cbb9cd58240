#pragma once
// Installs the program's real message boxes: modal, OK button, the icon of
// the style (64 information, 48 exclamation, 0 none).
namespace quarn {
void installModalMessageBoxes();
}
