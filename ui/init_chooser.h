#pragma once
// Picking the Init.txt in a file dialog, for the programs started from the menu.

#include <QString>

namespace quarn {

// --choose: the Init.txt the user picks in a file dialog that starts in the
// folder last chosen (remembered in the program's settings file, group
// [files]), or in startFolder when given. Empty when the dialog is cancelled.
// Test hook: with QUARN_AUTO_CHOOSE set, no dialog is shown and its value is
// taken as the choice (empty: cancelled). Needs a QApplication.
QString chooseInitFile(const QString& startFolder);

// --choose for a program given INIT (an Init.txt, its folder, or empty): the
// dialog starts in INIT's folder. Empty when cancelled.
QString chooseInitFor(const QString& init);

}  // namespace quarn
