#pragma once
// The command line of quarn-download, read before any application object
// exists, so that --help, --version, --list-ports and --assign need no display.
//
//   quarn-download [--choose] [INIT]
//   quarn-download --list-ports | --assign COMn=DEVICE | --help | --version
//
// INIT is a folder holding Init.txt, or the path of an Init.txt; the program
// then works in that folder.

#include <QString>
#include <QStringList>

#include "ui/init_chooser.h"

namespace quarn {

struct CommandLine {
    enum class Action {
        Print,      // print text (stdout when status is 0, else stderr) and end with status
        ListPorts,  // --list-ports
        Assign,     // --assign value
        Windows,    // run the windows
    };
    Action action = Action::Windows;
    int status = 0;
    QString text;
    QString assign;  // the value of --assign
    bool choose = false;
    QString init;  // the INIT argument, empty when none
};

// arguments as main's argv, the program name first.
CommandLine parseCommandLine(const QStringList& arguments);

// Makes the folder of INIT's Init.txt (image/resolve_image.h initFilePath)
// the working folder and returns the absolute path of the Init.txt to read. Empty INIT:
// "Init.txt" in the working folder, which stays as it is. A folder that does
// not exist is not entered; the path returned then names a file that is not
// there, and reading it says so.
QString enterInitFolder(const QString& init);

}  // namespace quarn
