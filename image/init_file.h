#pragma once
// Reading Init.txt, the program's one configuration file. No widgets.
//
// The file is read as free-format fields: a field ends at a comma or a line
// end (CR LF or a bare LF); blanks before a field are skipped; a field that
// starts with a double quote runs to the next double quote and may hold commas
// and line ends; an empty line is an empty field.
//
// Fields in order: three header lines; 0 to 11 step texts; the terminator
// "StepEnd" (exact, case-sensitive); the download file name; the download
// length; the end message; the download window title. Nothing after the title
// is read, and the reader reads no further into the file than those fields.
//
// The length is a number whose integer part, rounded towards minus infinity,
// must fit -32768..32767; an empty field gives 0.

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace quarn {

struct InitValues {
    QString header[3];
    QStringList steps;  // 0..11 entries
    QString downloadFile;
    int16_t downloadLength = 0;
    QString endMessage;
    QString downloadCaption;
};

struct InitResult {
    bool ok = false;
    InitValues values;
    QString error;  // why the file was refused (for tests and diagnostics; the user sees "Invalid
                    // Init File.")
};

constexpr int kMaxSteps = 11;

// Reads the fields from an open device.
InitResult readInit(QIODevice& in);
// Opens and reads the file at path ("Init.txt" in the working directory for the program).
InitResult readInitFile(const QString& path);

}  // namespace quarn
