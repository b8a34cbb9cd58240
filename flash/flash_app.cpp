#include "flash/flash_app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>

#include "core/version.h"
#include "flash/flash_options.h"
#include "flash/progress.h"
#include "flash/record_keys.h"
#include "flash/unit_runner.h"
#include "link/port_commands.h"
#include "records/image_digest.h"
#include "records/pusher.h"

namespace quarn::flash {

namespace {

// SIGINT / SIGTERM: the first is written to a pipe the event loop watches;
// the second ends the program at once.
int g_signalPipe[2] = {-1, -1};
std::atomic<int> g_signals{0};

void onSignal(int sig) {
    if (g_signals.fetch_add(1) > 0) ::_exit(kExitSignal);
    const char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void installSignalHandlers() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

void printErr(const QString& text) {
    std::fprintf(stderr, "quarn-flash: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int runFlash() {
    qRegisterMetaType<UnitRecord>();
    const FlashOptions o = parseFlashOptions(QCoreApplication::arguments());
    switch (o.action) {
        case FlashOptions::Action::Error:
            printErr(o.error + QStringLiteral(" (see --help)"));
            return kExitInput;
        case FlashOptions::Action::Help:
            std::fputs(o.helpText.toLocal8Bit().constData(), stdout);
            return kExitGood;
        case FlashOptions::Action::Version:
            std::printf("quarn-flash %s\n", QUARN_VERSION);
            return kExitGood;
        case FlashOptions::Action::ListPorts: {
            QTextStream out(stdout), err(stderr);
            return listPortsCommand(out, err);
        }
        case FlashOptions::Action::Run:
            break;
    }

    RecordLog log;
    QString why;
    if (!o.logPath.isEmpty() && !log.open(o.logPath, &why)) {
        printErr(why);
        return kExitInput;
    }
    installSignalHandlers();

    ProgressDisplay display(stderr, ::isatty(STDERR_FILENO), o.quiet);
    const int n = static_cast<int>(o.units.size());
    QList<UnitRunner*> runners;
    QList<QThread*> threads;
    QList<bool> ended(n, false);
    QStringList outcomes(n);
    QList<UnitRecord> records(n);
    int remaining = n;
    bool interrupted = false;

    auto stopAll = [&] {
        interrupted = true;
        for (int i = 0; i < n; ++i)
            if (!ended[i]) runners[i]->requestStop();
    };

    QSocketNotifier* notifier = nullptr;
    if (g_signalPipe[0] >= 0) {
        notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&] {
            char buf[16];
            while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
            }
            if (!interrupted) {
                if (!o.quiet) display.note(QStringLiteral("quarn-flash: stopping every unit"));
                stopAll();
            }
        });
    }

    QTimer redraw;
    redraw.setInterval(100);
    QObject::connect(&redraw, &QTimer::timeout, qApp, [&] { display.redraw(runners, outcomes); });

    const QByteArray image = quarn::records::imageSha256(o.filePath, o.downloadLength);
    for (int i = 0; i < n; ++i) {
        auto* thread = new QThread;
        auto* runner =
            new UnitRunner(i, UnitJob{o.units[i], o.filePath, o.downloadLength, o.maxRepeats});
        runner->moveToThread(thread);
        QObject::connect(runner, &UnitRunner::stageReached, qApp,
                         [&, i](int, int stage, int block, int total) {
                             display.stageLine(o.units[i].port, stage, block, total);
                         });
        QObject::connect(runner, &UnitRunner::finished, qApp, [&](int index, UnitRecord r) {
            addStationKeys(r, o, image);
            records[index] = r;
            ended[index] = true;
            outcomes[index] = outcomeName(r.outcome);
            threads[index]->quit();
            const QByteArray line = toJsonLine(r);
            if (o.json) {
                display.erase();
                std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
                std::fflush(stdout);
            }
            QString logWhy;
            if (log.isOpen() && !log.append(line, &logWhy)) printErr(logWhy);
            display.endedLine(r);
            if (--remaining == 0) QCoreApplication::quit();
        });
        runners << runner;
        threads << thread;
    }
    for (int i = 0; i < n; ++i) {
        threads[i]->start();
        QMetaObject::invokeMethod(runners[i], &UnitRunner::run, Qt::QueuedConnection);
    }
    if (display.terminal()) redraw.start();
    QCoreApplication::exec();
    redraw.stop();
    display.redraw(runners, outcomes);

    for (int i = 0; i < n; ++i) {
        threads[i]->wait();
        delete runners[i];
        delete threads[i];
    }
    delete notifier;
    display.summary(records);
    quarn::records::pushAfterRun(o.logPath, stderr);  // in the background: never the exit status

    if (interrupted || g_signals > 0) return kExitSignal;
    if (n == 1) return exitStatusFor(records[0].outcome);
    for (const UnitRecord& r : records)
        if (r.outcome != SessionOutcome::Good) return kExitSomeFailed;
    return kExitGood;
}

}  // namespace quarn::flash
