#include "app/form_registry.h"

#include <QCoreApplication>
#include <QWidget>
#include <memory>
#include <vector>

namespace quarn {

namespace {
int g_loaded = 0;
int g_exitCode = 0;
void endEventLoop(int code) {
    if (QCoreApplication::instance()) QCoreApplication::exit(code);
}
ProgramEndAction g_endAction = endEventLoop;
std::vector<std::unique_ptr<FormLifecycle>>& parked() {
    static std::vector<std::unique_ptr<FormLifecycle>> p;
    return p;
}
}  // namespace

void FormLifecycle::markLoaded() {
    if (!loaded_) {
        loaded_ = true;
        ++g_loaded;
    }
}

bool FormLifecycle::Unload() {
    if (!loaded_) return true;
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0) return false;
    if (!loaded_) return true;  // Form_Unload may have unloaded us through another window
    loaded_ = false;
    --g_loaded;
    window()->hide();
    if (g_loaded == 0 && g_endAction) g_endAction(g_exitCode);
    return true;
}

int loadedFormCount() { return g_loaded; }
void resetLoadedCount() { g_loaded = 0; }
ProgramEndAction setProgramEndAction(ProgramEndAction action) {
    ProgramEndAction previous = g_endAction;
    g_endAction = action;
    return previous;
}

void setExitCode(int code) { g_exitCode = code; }
int exitCode() { return g_exitCode; }

void parkForm(FormLifecycle* form) {
    if (form) parked().emplace_back(form);
}

void freeParkedForms() { parked().clear(); }

}  // namespace quarn
