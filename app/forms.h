#pragma once
// The single instances of the program's four windows.
//
// formN() returns the window, loading it first (constructing it and running its
// Form_Load) when it is not loaded; a window that was unloaded is parked and a
// fresh one is loaded in its place. formNIfLoaded() never loads.

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

// Deletes every window object, loaded or parked, and forgets the loaded count.
// Only for the top level: the end of main, or a test between two runs.
void destroyAllForms();

}  // namespace quarn
