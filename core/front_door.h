#pragma once
// The programs' front door, written once for quarn-station, quarn-flash,
// quarn-records and quarn-plant: what a command line asks before anything
// runs (to run, the help, the version, or a refusal), how each of those is
// answered, and the one way a program says an error: "PROGRAM: TEXT" and a
// line end on standard error, in the locale's encoding. Qt Core only.
//
// Exit statuses: the help and the version 0; a refusal the status the
// program gives a usage error (1 unless given).

#include <QString>
#include <functional>
#include <optional>

namespace quarn {

// What the command line asks for; each program's options struct derives from it.
struct CommandLineAnswer {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString error;     // Action::Error: what was wrong, for people
    QString helpText;  // Action::Help: the whole help, as printed
};

class FrontDoor {
public:
    explicit FrontDoor(QString program) : program_(std::move(program)) {}

    const QString& program() const { return program_; }
    // "PROGRAM: TEXT" on standard error.
    void printErr(const QString& text) const;
    // printErr(text); returns status.
    int fail(const QString& text, int status = 1) const;
    // A usage error: "PROGRAM: WHY (see --help)", the hint in the operator's
    // language; returns status.
    int refuse(const QString& why, int status = 1) const;
    // "PROGRAM VERSION" on standard output; returns 0.
    int printVersion() const;
    // Help, Version and Error answered, with their exit status (a refusal's
    // is errorStatus); none for Run, which the program goes on to do.
    std::optional<int> answer(const CommandLineAnswer& a, int errorStatus = 1) const;
    // For a window program that cannot or need not show its window: under an
    // application object that needs no display, with the operator's
    // catalogue installed, the command line is parsed again (parse) and
    // answered; Run, here without a display, fails with noDisplay() (1).
    int answerWithoutWindow(int argc, char* argv[], const std::function<CommandLineAnswer()>& parse,
                            const std::function<QString()>& noDisplay) const;

private:
    QString program_;
};

}  // namespace quarn
