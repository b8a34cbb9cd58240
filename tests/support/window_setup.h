#pragma once
// The download window as the start-up windows leave it, for the test rigs and
// the bench: the program reset between sessions, the globals set, the window
// built. Nothing here answers a box or drives a unit.

#include <QString>
#include <cstdint>

namespace quarn {
class Form24;
}

namespace testsupport {

// Deletes every window, resets the globals and the exit code, and replaces
// the end of the program (the event loop's exit) by a record of it.
void resetProgram();
// The exit code the program ended with since the last reset, or -1 while it runs.
int programEndCode();

// What the start-up and port windows would have set.
struct DownloadSetup {
    QString file;
    int16_t length = 0;
    QString caption;
    QString endMessage;
    int16_t com = 1;
    bool show = true;
};
// Sets the globals and builds (and shows) the download window.
quarn::Form24* loadDownloadWindow(const DownloadSetup& setup);

}  // namespace testsupport
