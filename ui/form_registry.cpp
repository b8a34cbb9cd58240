#include "ui/form_registry.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace quarn {

namespace {
int g_loaded = 0;
int g_exitCode = 0;
int g_busy = 0;
void endEventLoop(int code) {
    if (QCoreApplication::instance()) QCoreApplication::exit(code);
}
ProgramEndAction g_endAction = endEventLoop;

// Unloaded windows: waiting for the busy scopes to end, or handed to
// deleteLater and not gone yet (an event loop may never run again).
std::vector<QPointer<QWidget>>& waiting() {
    static std::vector<QPointer<QWidget>> w;
    return w;
}
std::vector<QPointer<QWidget>>& scheduled() {
    static std::vector<QPointer<QWidget>> s;
    return s;
}

void scheduleFree(QWidget* w) {
    std::erase_if(scheduled(), [](const QPointer<QWidget>& p) { return p.isNull(); });
    scheduled().emplace_back(w);
    w->deleteLater();
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
    QWidget* w = window();
    w->hide();
    if (g_busy > 0)
        waiting().emplace_back(w);
    else
        scheduleFree(w);
    if (g_loaded == 0 && g_endAction) g_endAction(g_exitCode);
    return true;
}

BusyScope::BusyScope() { ++g_busy; }

BusyScope::~BusyScope() {
    if (--g_busy > 0) return;
    std::vector<QPointer<QWidget>> ready;
    ready.swap(waiting());
    for (const QPointer<QWidget>& w : ready)
        if (w) scheduleFree(w);
}

int loadedFormCount() { return g_loaded; }
ProgramEndAction setProgramEndAction(ProgramEndAction action) {
    ProgramEndAction previous = g_endAction;
    g_endAction = action;
    return previous;
}

void setExitCode(int code) { g_exitCode = code; }
int exitCode() { return g_exitCode; }

void freeUnloadedForms() {
    for (auto* list : {&waiting(), &scheduled()}) {
        std::vector<QPointer<QWidget>> forms;
        forms.swap(*list);
        for (const QPointer<QWidget>& w : forms) delete w.data();
    }
    g_loaded = 0;
}

}  // namespace quarn
