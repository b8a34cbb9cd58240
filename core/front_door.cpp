#include "core/front_door.h"

#include <QCoreApplication>
#include <cstdio>

#include "core/translations.h"
#include "core/version.h"

namespace quarn {

void FrontDoor::printErr(const QString& text) const {
    std::fputs(
        (program_ + QStringLiteral(": ") + text + QLatin1Char('\n')).toLocal8Bit().constData(),
        stderr);
}

int FrontDoor::fail(const QString& text, int status) const {
    printErr(text);
    return status;
}

int FrontDoor::refuse(const QString& why, int status) const {
    return fail(why + QCoreApplication::translate("FrontDoor", " (see --help)"), status);
}

int FrontDoor::printVersion() const {
    std::fputs((program_ + QStringLiteral(" " QUARN_VERSION "\n")).toLocal8Bit().constData(),
               stdout);
    return 0;
}

std::optional<int> FrontDoor::answer(const CommandLineAnswer& a, int errorStatus) const {
    switch (a.action) {
        case CommandLineAnswer::Action::Error:
            return refuse(a.error, errorStatus);
        case CommandLineAnswer::Action::Help:
            std::fputs(a.helpText.toLocal8Bit().constData(), stdout);
            return 0;
        case CommandLineAnswer::Action::Version:
            return printVersion();
        case CommandLineAnswer::Action::Run:
            break;
    }
    return std::nullopt;
}

int FrontDoor::answerWithoutWindow(int argc, char* argv[],
                                   const std::function<CommandLineAnswer()>& parse,
                                   const std::function<QString()>& noDisplay) const {
    QCoreApplication app(argc, argv);
    installTranslations();
    if (const auto status = answer(parse())) return *status;
    return fail(noDisplay());
}

}  // namespace quarn
