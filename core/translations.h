#pragma once
// The operator's language for quarn-station, quarn-flash and quarn-records:
// one loader for all three. The catalogue quarn_<language>.qm is chosen from
// the locale as Qt reads it (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG) and
// looked for, first found, in
//   1. $QUARN_TRANSLATIONS_DIR (tests, a catalogue being tried out),
//   2. <the program's folder>/translations (a build tree),
//   3. <the program's folder>/../share/quarn-download/translations (installed).
// Qt's own catalogue for the language (standard buttons) comes with it
// when the system has it. quarn-download loads none: its windows keep their
// own texts.

#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace quarn {

// The folders searched, in order.
QStringList translationFolders();

// Installs the catalogue for the locale into the running application.
// Returns the file loaded, empty when none fits (the texts stay English).
QString installTranslations();

// The parser's help, its usage line naming the program instead of the path
// it was started by. Qt writes that line in the operator's language too
// ("Aufruf: %1"), so it is found through Qt's own catalogue.
QString programHelp(const QCommandLineParser& parser, const QString& program);

}  // namespace quarn
