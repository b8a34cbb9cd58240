#pragma once
// quarn-flash's main: parses the command line, checks the input, runs every
// unit on its own thread, collects the records, handles SIGINT and SIGTERM,
// and returns the exit status. Needs a QCoreApplication.

namespace quarn::flash {

int runFlash();

}  // namespace quarn::flash
