#include "tests/support/window_setup.h"

#include "app/forms.h"
#include "session/form24.h"
#include "ui/form_registry.h"
#include "ui/globals.h"

namespace testsupport {

namespace {
int g_endCode = -1;
void recordEnd(int code) { g_endCode = code; }
}  // namespace

int programEndCode() { return g_endCode; }

void resetProgram() {
    quarn::setProgramEndAction(recordEnd);
    g_endCode = -1;
    quarn::destroyAllForms();
    quarn::resetGlobals();
    quarn::setExitCode(0);
}

quarn::Form24* loadDownloadWindow(const DownloadSetup& setup) {
    quarn::Download_file = setup.file;
    quarn::Download_length = setup.length;
    quarn::Download_caption = setup.caption;
    quarn::End_message = setup.endMessage;
    quarn::Com_port = setup.com;
    quarn::Form24* f = quarn::form24();
    if (setup.show) f->show();
    return f;
}

}  // namespace testsupport
