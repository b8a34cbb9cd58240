#pragma once
// The single instances of the program's four windows, and how they are
// wired to one another: each window says what happened (a signal) and offers
// small methods; only this layer knows the other windows.
//
// formN() returns the window, loading it first (constructing it, wiring it and
// running its Form_Load) when it is not loaded; a window that was unloaded is
// freed (see ui/form_registry.h) and a fresh one is loaded in its place.
// formNIfLoaded() never loads.

#include <QString>

namespace quarn {

class Form1;
class Form2;
class Form14;
class Form24;

Form1* form1();
Form2* form2();
Form14* form14();
Form24* form24();

Form1* form1IfLoaded();
Form2* form2IfLoaded();
Form14* form14IfLoaded();
Form24* form24IfLoaded();

// Deletes every window object, loaded or not yet freed, and forgets the
// loaded count. Only for the top level: the end of the program, or a test
// between two runs.
void destroyAllForms();

// Runs the program from its start-up window: loads Form1 (which reads the
// Init.txt at initPath), shows it and runs the event loop until the last
// window has unloaded. Returns the program's exit code (0, or 1 after "Invalid
// Init File."). Frees every window before it returns. Needs a QApplication.
int runProgram(const QString& initPath = QStringLiteral("Init.txt"));

}  // namespace quarn
