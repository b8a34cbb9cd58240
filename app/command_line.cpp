#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "core/version.h"
#include "image/resolve_image.h"

namespace quarn {

namespace {

const char kUsage[] =
    "Usage: quarn-download [--choose] [INIT]\n"
    "       quarn-download --list-ports | --assign COMn=DEVICE | --help | --version\n"
    "\n"
    "Loads a download file into a Quarn unit over a serial port, as Init.txt\n"
    "describes it.\n"
    "\n"
    "  INIT                a folder holding Init.txt, or the path of an Init.txt;\n"
    "                      the program works in that folder (default: Init.txt\n"
    "                      in the current folder)\n"
    "  --choose            pick the Init.txt in a file dialog first (it starts in\n"
    "                      the folder chosen last time); Cancel ends the program\n"
    "  --list-ports        list the COM numbers and the serial ports of this\n"
    "                      machine (no display needed)\n"
    "  --assign COMn=DEVICE\n"
    "                      give COMn (1 to 4) to DEVICE; COMn= removes it\n"
    "  -h, --help          show this text\n"
    "  -v, --version       show the version\n";

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption listPorts(QStringLiteral("list-ports"), QString());
    const QCommandLineOption assign(QStringLiteral("assign"), QString(),
                                    QStringLiteral("COMn=DEVICE"));
    const QCommandLineOption choose(QStringLiteral("choose"), QString());
    parser.addOptions({help, version, listPorts, assign, choose});

    CommandLine cl;
    auto usageError = [&](const QString& why) {
        cl.action = CommandLine::Action::Print;
        cl.status = 1;
        cl.text = QStringLiteral("quarn-download: %1\nTry 'quarn-download --help'.\n").arg(why);
        return cl;
    };
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    if (parser.isSet(help)) {
        cl.action = CommandLine::Action::Print;
        cl.text = QString::fromLatin1(kUsage);
        return cl;
    }
    if (parser.isSet(version)) {
        cl.action = CommandLine::Action::Print;
        cl.text = QStringLiteral("quarn-download " QUARN_VERSION "\n");
        return cl;
    }
    const QStringList positional = parser.positionalArguments();
    const int commands = int(parser.isSet(listPorts)) + int(parser.isSet(assign));
    if (commands > 1 || parser.values(assign).size() > 1)
        return usageError(QStringLiteral("give one of --list-ports and --assign, once"));
    if (commands == 1 && (parser.isSet(choose) || !positional.isEmpty()))
        return usageError(
            QStringLiteral("--list-ports and --assign take no Init file and no --choose"));
    if (positional.size() > 1)
        return usageError(QStringLiteral("one INIT at most (a folder or an Init.txt), not %1: %2")
                              .arg(positional.size())
                              .arg(positional.join(QLatin1Char(' '))));
    if (parser.isSet(listPorts)) {
        cl.action = CommandLine::Action::ListPorts;
    } else if (parser.isSet(assign)) {
        cl.action = CommandLine::Action::Assign;
        cl.assign = parser.value(assign);
    } else {
        cl.choose = parser.isSet(choose);
        cl.init = positional.value(0);
    }
    return cl;
}

QString enterInitFolder(const QString& init) {
    if (init.isEmpty()) return initFilePath(init);
    const QFileInfo info(initFilePath(init));
    if (info.absoluteDir().exists()) QDir::setCurrent(info.absolutePath());
    return info.absoluteFilePath();
}

}  // namespace quarn
