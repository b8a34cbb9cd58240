#pragma once
// Load, unload and lifetime of the program's windows.
//
// Every window is a single instance that is loaded on first use. Unloading a
// window runs its Form_Unload (which may cancel), hides it and marks it
// unloaded; the object is then freed with deleteLater, once control is back
// in an event loop. A download session runs inside a click under nested
// event loops, so a window method that may nest (a session, a modal box)
// holds a BusyScope: windows unloaded while any scope is open are handed to
// deleteLater only when the outermost scope has ended, so no window is freed
// while one of its methods is on the stack.
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

    // Runs Form_Unload; if it does not cancel, hides the window, marks it
    // unloaded and schedules it to be freed. Returns false when the unload
    // was cancelled. Unloading an unloaded window does nothing and returns true.
    bool Unload();

    virtual QWidget* window() = 0;

protected:
    // Called with Cancel = 0; set it non-zero to keep the window open.
    virtual void Form_Unload(int& Cancel) { Q_UNUSED(Cancel); }

    // Call from the window's load: counts it as loaded.
    void markLoaded();

private:
    bool loaded_ = false;
};

// Held by a window method that may run nested event loops.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

int loadedFormCount();

// What happens when the last window is unloaded. The program's default asks
// the event loop to end with exitCode(); a test installs its own to observe
// the end of the program. Returns the previous action.
using ProgramEndAction = void (*)(int exitCode);
ProgramEndAction setProgramEndAction(ProgramEndAction action);

void setExitCode(int code);
int exitCode();

// Deletes, now, every unloaded window not freed yet, and forgets the loaded
// count. Only where no window method is on the stack: the end of the
// program, or a test between two runs.
void freeUnloadedForms();

}  // namespace quarn
