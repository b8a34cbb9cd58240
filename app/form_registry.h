#pragma once
// Load, unload and lifetime of the program's windows.
//
// Every window is a single instance that is loaded on first use. Unloading a
// window runs its Form_Unload (which may cancel), hides it and marks it
// unloaded; the object itself is parked, not deleted, because a download
// session runs inside a click under nested event loops and one of the
// window's methods may still be on the stack. Parked windows are freed by
// freeParkedForms(), which only the top level (main, a test's teardown) calls.
//
// When the last loaded window is unloaded, the program's event loop is asked
// to end with the current exit code (0 unless setExitCode said otherwise).

#include <QtGlobal>

class QWidget;

namespace quarn {

class FormLifecycle {
public:
    virtual ~FormLifecycle() = default;

    bool isLoaded() const { return loaded_; }

    // Runs Form_Unload; if it does not cancel, hides the window and marks it
    // unloaded. Returns false when the unload was cancelled. Unloading an
    // unloaded window does nothing and returns true.
    bool Unload();

    virtual QWidget* window() = 0;

protected:
    // Called with Cancel = 0; set it non-zero to keep the window open.
    virtual void Form_Unload(int& Cancel) { Q_UNUSED(Cancel); }

    // Call from the window's constructor: counts it as loaded.
    void markLoaded();

private:
    bool loaded_ = false;
};

int loadedFormCount();

// What happens when the last window is unloaded. The program's default asks
// the event loop to end with exitCode(); a test installs its own to observe
// the end of the program. Returns the previous action.
using ProgramEndAction = void (*)(int exitCode);
ProgramEndAction setProgramEndAction(ProgramEndAction action);

void setExitCode(int code);
int exitCode();

// Parks an unloaded window for later freeing (called by the instance accessors).
void parkForm(FormLifecycle* form);
// Deletes every parked window. Only safe where no window method is on the stack.
void freeParkedForms();

}  // namespace quarn
