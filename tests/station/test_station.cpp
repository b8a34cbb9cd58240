// The station's window against simulated units on pseudo-terminals: a rack
// of good and faulty units, starting only the failed ones again, stopping,
// the scanner, plugging, and the program's command line.
#include <signal.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "approval/gate_read.h"
#include "approval/image_list.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/translations.h"
#include "database/migrations.h"
#include "image/blocks.h"
#include "link/download_link.h"
#include "station/batch_cue.h"
#include "station/rack_view.h"
#include "station/slot_tile.h"
#include "station/station_model.h"
#include "station/station_window.h"
#include "tests/support/pg_server.h"
#include "tests/support/test_support.h"
#include "tests/support/unit_kinds.h"

using namespace testsupport;
using namespace quarn::station;

namespace {

constexpr int kLength = 640;  // 10 blocks

QString labelText(QWidget* tile, const QString& role) {
    for (QLabel* l : tile->findChildren<QLabel*>())
        if (l->accessibleName().startsWith(role + QStringLiteral(": ")))
            return l->accessibleName().mid(role.size() + 2);
    return QStringLiteral("(no %1)").arg(role);
}

sim::Config with(sim::Stage stage, sim::Fault fault, int baud = 0) {
    sim::Config c;
    c.faults[stage] = fault;
    c.baud = baud;
    return c;
}

// A unit that refuses the first block however often it comes.
sim::Config refusing() {
    sim::Config c;
    c.refuseBlock = 0;
    c.refuseTimes = 1 << 20;
    return c;
}

QList<QJsonObject> readRecords(const QString& path) {
    QList<QJsonObject> list;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return list;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty()) list << QJsonDocument::fromJson(line).object();
    return list;
}

int logins(const sim::UnitSim& unit) {
    return int(toQByteArray(unit.received()).count("LANTERNS"));
}

// A unit that waits for its handshake again soon after going quiet, as
// Auto-start's probes expect.
sim::Config quick(int baud = 0) {
    sim::Config c;
    c.idleResetMs = 300;
    c.baud = baud;
    return c;
}

}  // namespace

class TestStation : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString file_;
    std::vector<std::unique_ptr<sim::UnitSim>> units_;
    std::unique_ptr<StationModel> model_;
    std::unique_ptr<StationWindow> window_;
    QString log_;
    QString catalogue_;  // loaded for the whole run: the locale's, none in English
    bool requireApproved_ = false;
    int recheckMs_ = 300;  // how often the approved list is read again

    // A unit on a pseudo-terminal reached through dir/unitK.
    QString plug(int k, sim::Config config = {}) {
        config.symlink = dir_.filePath(QStringLiteral("unit%1").arg(k)).toStdString();
        auto unit = std::make_unique<sim::UnitSim>(config);
        if (!unit->start()) qFatal("simulator did not start");
        if (units_.size() <= size_t(k)) units_.resize(size_t(k) + 1);
        units_[size_t(k)] = std::move(unit);
        return QString::fromStdString(config.symlink);
    }
    void open(const QStringList& ports, bool requireSerial = false, int length = kLength,
              const QString& databaseUrl = {}, bool sound = true) {
        StationConfig c;
        c.sound = sound;
        c.databaseUrl = databaseUrl;
        c.operatorName = QStringLiteral("ann");
        c.stationName = QStringLiteral("bench-1");
        c.logPath = log_;
        c.image = quarn::DownloadImage(file_, static_cast<int16_t>(length));
        c.maxRepeats = 3;
        c.logRetryMs = 200;
        c.requireSerial = requireSerial;
        c.requireApproved = requireApproved_;
        c.approvalRecheckMs = recheckMs_;
        c.timing = {300, 600,
                    200};  // Auto-start's hold, probe gap (past the unit's 0.3 s) and retry
        const quarn::Settings none(dir_.filePath(QStringLiteral("none.conf")));
        model_ = std::make_unique<StationModel>(c, slotsFrom(ports, none, &c.source));
        window_ = std::make_unique<StationWindow>(*model_);
        window_->show();
        QApplication::setActiveWindow(window_.get());
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    QString status(int k) const { return labelText(window_->tile(k), QStringLiteral("Status")); }
    bool waitStatus(int k, const QString& text, int ms = 20000) {
        return spinUntil([&] { return status(k) == text; }, ms);
    }
    QPushButton* button(const QString& name) const {
        for (QPushButton* b : window_->findChildren<QPushButton*>())
            if (b->accessibleName() == name) return b;
        qFatal("no button %s", qPrintable(name));
    }
    bool waitIdle(int ms = 30000) {
        return spinUntil([&] { return !model_->anyRunning(); }, ms);
    }
    // The window at w x h, laid out: every tile inside it, no scroll bar, and
    // each status text (and the symbol beside it) at least minPx high.
    void checkRackFits(int w, int h, int minPx) {
        window_->resize(w, h);
        QVERIFY(spinUntil([&] { return window_->size() == QSize(w, h); }, 2000));
        QVERIFY2(
            spinUntil([&] { return !window_->rack()->verticalScrollBar()->isVisible(); }, 2000),
            qPrintable(QStringLiteral("%1 columns").arg(window_->rack()->columns())));
        const QRect inside = window_->rect();
        for (int k = 0; k < window_->tileCount(); ++k) {
            SlotTile* tile = window_->tile(k);
            const QRect r(tile->mapTo(window_.get(), QPoint(0, 0)), tile->size());
            QVERIFY2(inside.contains(r), qPrintable(QStringLiteral("tile %1").arg(k + 1)));
            QLabel* text = tile->statusLabel();
            QVERIFY2(QFontInfo(text->font()).pixelSize() >= minPx && text->height() >= minPx &&
                         text->font().bold() && text->width() >= text->sizeHint().width(),
                     qPrintable(status(k)));
        }
    }

private slots:
    void initTestCase() {
        catalogue_ = quarn::installTranslations();
        useFastClock();
        QVERIFY(dir_.isValid());
        file_ = writeFile(dir_.path(), QStringLiteral("image.bin"), patternBytes(100 * 64));
    }
    void init() {
        useFastClock();
        log_ = dir_.filePath(QStringLiteral("%1-%2.jsonl")
                                 .arg(QTest::currentTestFunction(), QTest::currentDataTag()));
    }
    void cleanup() {
        requireApproved_ = false;
        recheckMs_ = 300;
        window_.reset();
        model_.reset();
        units_.clear();
    }

    // Four units, each ending its own way: texts, colours, explanations,
    // records; then only the failed ones that still have a port start again.
    void rackOfFour() {
        const QStringList ports{
            plug(0), plug(1, with(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence))),
            plug(2, refusing()),
            plug(3, with(sim::Stage::Verdict, makeFault(sim::FaultKind::HangUp, {}, 1, 5)))};
        open(ports);
        for (int k = 0; k < 4; ++k) QCOMPARE(status(k), QStringLiteral("ready"));
        QTest::keyClick(window_.get(), Qt::Key_F5);
        QVERIFY(waitIdle());
        struct Row {
            const char* status;
            const char* colour;
            const char* outcome;
            const char* explanation;
        };
        const Row rows[] = {{"good", "good", "good", ""},
                            {"failed: handshake", "failed", "handshake", "No reply"},
                            {"failed: transfer", "failed", "transfer", "refused block 1 of 10 3"},
                            {"failed: transfer", "failed", "transfer", "The port was lost"}};
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 4);
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(status(k), QString::fromLatin1(rows[k].status));
            QCOMPARE(window_->tile(k)->colour(), QString::fromLatin1(rows[k].colour));
            const QString why = labelText(window_->tile(k), QStringLiteral("Explanation"));
            QVERIFY2(QString(rows[k].explanation).isEmpty() ? why.isEmpty()
                                                            : why.contains(rows[k].explanation),
                     qPrintable(why));
            const auto rec = std::find_if(
                records.begin(), records.end(),
                [&](const QJsonObject& o) { return o["port"].toString() == ports[k]; });
            QVERIFY(rec != records.end());
            QCOMPARE((*rec)["outcome"].toString(), QString::fromLatin1(rows[k].outcome));
            if (k > 0) QCOMPARE((*rec)["message"].toString(), why);
        }
        QVERIFY(
            labelText(window_.get(), QStringLiteral("Counters")).startsWith("good 1 · failed 3"));

        // Again: the silent and the refusing unit; the good one is left, the pulled one has no
        // port.
        units_[1]->clearFaults();
        units_[1]->repower();
        QSignalSpy ended(model_.get(), &StationModel::sessionEnded);
        QTest::keyClick(window_.get(), Qt::Key_F6);
        QVERIFY(waitIdle());
        QList<int> again;
        for (const auto& args : ended) again << args[0].toInt();
        std::sort(again.begin(), again.end());
        QCOMPARE(again, (QList<int>{1, 2}));
        QCOMPARE(status(0), QStringLiteral("good"));
        QCOMPARE(status(1), QStringLiteral("good"));
        QCOMPARE(units_[0]->sessions().size(), size_t(1));
    }

    // A rack of 32 on 1920 x 1080: every tile in view without scrolling, the
    // status texts large and bold, a shape beside each colour; when the last
    // unit ends, one cue. 64 fit 2560 x 1440; on a small screen the rows scroll.
    void rackOfThirtyTwo() {
        QStringList ports;
        for (int k = 0; k < 32; ++k) ports << plug(k, k % 5 == 4 ? refusing() : sim::Config{});
        open(ports);
        QCOMPARE(model_->startAll(), 32);
        QVERIFY(waitIdle());
        checkRackFits(1920, 1080, 24);
        QCOMPARE(window_->cue().played(), 1);
        const QStringList symbols{window_->tile(0)->symbol(), window_->tile(4)->symbol()};
        QCOMPARE(symbols, (QStringList{"good", "failed"}));
        QCOMPARE(window_->tile(4)->colour(), QStringLiteral("failed"));

        window_.reset();
        for (int k = 32; k < 64; ++k) ports << dir_.filePath(QStringLiteral("absent%1").arg(k));
        open(ports);
        checkRackFits(2560, 1440, 24);
        window_->resize(1280, 720);
        QVERIFY(spinUntil([&] { return window_->rack()->verticalScrollBar()->isVisible(); }, 2000));
    }

    // The station in the operator's language, through the programs' one
    // loader: German under LANG=de_DE.UTF-8 (the test test_station_de), else
    // English; the buttons and the status texts of a good and a failed unit,
    // and a refusal of quarn-flash's.
    void stationLanguage() {
        const bool german = QLocale::system().language() == QLocale::German;
        QCOMPARE(catalogue_.endsWith(QStringLiteral("quarn_de.qm")), german);
        const QStringList expected =
            german
                ? QStringList{"Alle starten",
                              "Fehlgeschlagene neu starten",
                              "Alle stoppen",
                              "Autostart",
                              "bereit",
                              "gut",
                              "Fehler: Übertragung"}
                : QStringList{"Start all", "Start failed again", "Stop all", "Auto-start", "ready",
                              "good",      "failed: transfer"};
        open({plug(0), plug(1, refusing())});
        QStringList shown;
        for (QPushButton* b : window_->findChildren<QPushButton*>()) shown << b->text();
        shown << status(1);
        QCOMPARE(model_->startAll(), 2);
        QVERIFY(waitIdle());
        QCOMPARE(shown << status(0) << status(1), expected);
        // The failed unit's explanation is in the operator's language on its
        // tile, while its record keeps it in English, as every station's do.
        const char* const refused = "The unit refused block 1 of";
        const QString why = labelText(window_->tile(1), german ? "Erklärung" : "Explanation");
        QVERIFY2(why.startsWith(german ? "Das Gerät hat Block 1 von" : refused), qPrintable(why));
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& r : records)
            QCOMPARE(r["message"].toString().startsWith(refused), r["outcome"] == "transfer");
        // quarn-flash loads the same catalogue through the same loader: its
        // refusals, its help (option names and outcome words kept), and the
        // approved list's verdict (no database configured here).
        const auto flash = [&](const QStringList& args, int exit) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QUARN_TRANSLATIONS_DIR"), QFileInfo(catalogue_).path());
            env.insert(QStringLiteral("QUARN_CONFIG_DIR"), dir_.path());
            env.remove(QStringLiteral("QUARN_DB"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(QUARN_FLASH_PATH), args);
            const bool ended = p.waitForFinished(10000) && p.exitCode() == exit;
            const QString said =
                QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            return ended ? said : QStringLiteral("exit %1: ").arg(p.exitCode()) + said;
        };
        QString said = flash({"-p", "COM1", "-p", "COM1"}, 1);
        QVERIFY2(said.endsWith(german ? "(siehe --help)\n" : "(see --help)\n"), qPrintable(said));
        said = flash({"--help"}, 0);
        QVERIFY2(said.contains(QString::fromUtf8(
                     german ? "Aufruf: quarn-flash [Optionen] [INIT]\nLädt die Download-Datei"
                            : "Usage: quarn-flash [options] [INIT]\nLoads the download file")) &&
                     said.contains("--approved-only") && said.contains("  130  "),
                 qPrintable(said));
        said = flash({"--approved-only", "--no-log", "--file", file_, "--length",
                      QString::number(kLength), "-p", dir_.filePath(QStringLiteral("absent"))},
                     8);
        QVERIFY2(said.contains(german ? "lässt sich nicht feststellen: keine Datenbank eingerichtet"
                                      : "cannot be approved: no database is configured"),
                 qPrintable(said));
    }

    // [station] sound=false: a batch ends without a cue.
    void soundOff() {
        quarn::Settings settings(dir_.filePath(QStringLiteral("quiet.conf")));
        QVERIFY(soundWanted(settings));
        settings.setValue(quarn::SettingKey::StationSound, false);
        open({plug(0)}, false, kLength, {}, soundWanted(settings));
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QCOMPARE(window_->cue().played(), 0);
    }

    // Each record carries the station's keys, reaches the log, and is pushed
    // to the database in the background; what waits shows in the status bar.
    void recordsToDatabase_data() {
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<QString>("waiting");
        QTest::newRow("server up") << true << "records: all in the database";
        QTest::newRow("server down") << false << "1 record waits for the database";
    }
    void recordsToDatabase() {
        QFETCH(bool, serverUp);
        QFETCH(QString, waiting);
        PgServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        if (!serverUp) QVERIFY(server.stop());
        open({plug(0)}, false, kLength, server.url());
        model_->setSerial(0, QStringLiteral("SN-7"));
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 1);
        const QJsonObject& r = records[0];
        QCOMPARE(r["station"].toString(), QStringLiteral("bench-1"));
        QCOMPARE(r["operator"].toString(), QStringLiteral("ann"));
        QCOMPARE(r["serial"].toString(), QStringLiteral("SN-7"));
        QVERIFY(!r["slot"].toString().isEmpty());
        QCOMPARE(r["image_sha256"].toString(), r["sha256"].toString());
        const auto shown = [&] { return labelText(window_.get(), QStringLiteral("Records")); };
        QVERIFY2(spinUntil([&] { return shown() == waiting; }, 20000), qPrintable(shown()));
        // The label may read "all in the database" before the push has begun.
        const auto rows = [&] {
            return server.sql(QStringLiteral("SELECT serial, station FROM quarn_sessions"));
        };
        if (serverUp)
            QVERIFY2(spinUntil([&] { return rows() == "SN-7|bench-1"; }, 20000),
                     qPrintable(rows()));
    }

    // With the approved list required nothing starts until the image is on
    // it, and the record says it was; a revocation while units load lets
    // them finish and starts nothing more, Auto-start included.
    void approvedImageOnly() {
        PgServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QVERIFY(!server.sql(quarn::database::schemaScript()).contains("ERROR"));
        requireApproved_ = true;
        useRealClock();  // unit 1's pacing (100 blocks, 3.5 s) leaves time to revoke
        const int length = 100 * 64;
        open({plug(0), plug(1, with(sim::Stage::Verdict, {}, 19200))}, false, length, server.url());
        const auto line = [&] { return labelText(window_.get(), QStringLiteral("Image")); };
        QVERIFY2(spinUntil([&] { return line().endsWith(": not approved"); }, 10000),
                 qPrintable(line()));
        QVERIFY(!button("Start all")->isEnabled() && !button("Auto-start")->isEnabled());
        QCOMPARE(model_->startAll(), 0);
        quarn::approval::ApprovedImage image;
        image.sha256 =
            QString::fromLatin1(quarn::imageSha256(patternBytes(100 * 64), length).toHex());
        image.length = length;
        QCOMPARE(int(quarn::approval::approveImage(server.url(), image).status), 0);
        QVERIFY2(spinUntil([&] { return button("Start all")->isEnabled(); }, 10000),
                 qPrintable(line()));
        QVERIFY2(line().contains(", 6400 bytes, sha256 " + image.sha256.left(12) + ": approved by"),
                 qPrintable(line()));
        button("Start all")->click();
        QVERIFY(spinUntil([&] { return readRecords(log_).size() == 1; }, 10000));  // unit 0's
        QVERIFY(model_->anyRunning());
        QCOMPARE(int(quarn::approval::revokeImage(server.url(), image.sha256, {}).status), 0);
        QVERIFY(spinUntil([&] { return line().contains(": revoked on "); }, 10000));
        QVERIFY2(model_->anyRunning(), qPrintable(status(0) + "/" + status(1)));
        QVERIFY(!button("Start all")->isEnabled());
        QVERIFY(waitIdle());
        model_->setAutoStart(true);
        QTest::qWait(1500);
        // The slow unit's image was revoked while it loaded: its record says so.
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& r : records)
            QVERIFY2(r["outcome"] == "good" &&
                         r["approved"] == QJsonValue(r["port"].toString().endsWith("unit0")),
                     QJsonDocument(r).toJson().constData());
        QCOMPARE(logins(*units_[0]) + logins(*units_[1]), 2);
    }

    // The database stalls (its server stopped) while Start all waits for the
    // approved list: Stop all calls that start off, so nothing starts when
    // the verdict comes; closing the window does not wait on a read.
    void approvalCheckStalled() {
        PgServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QVERIFY(!server.sql(quarn::database::schemaScript()).contains("ERROR"));
        quarn::approval::ApprovedImage image;
        image.sha256 =
            QString::fromLatin1(quarn::imageSha256(patternBytes(100 * 64), kLength).toHex());
        image.length = kLength;
        QCOMPARE(int(quarn::approval::approveImage(server.url(), image).status), 0);
        requireApproved_ = true;
        recheckMs_ = 600000;  // only the reads the test asks for
        open({plug(0)}, false, kLength, server.url());
        QVERIFY(spinUntil([&] { return button("Start all")->isEnabled(); }, 10000));
        QSignalSpy verdicts(model_.get(), &StationModel::imageChanged);
        QVERIFY(server.pause());
        button("Start all")->click();
        QTest::qWait(300);
        QCOMPARE(verdicts.count(), 0);  // the read waits on the server
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(server.resume());
        QVERIFY(spinUntil([&] { return verdicts.count() == 1; }, 15000));
        QTest::qWait(300);
        QVERIFY2(status(0) == "ready" && units_[0]->received().empty(), qPrintable(status(0)));

        QVERIFY(server.pause());
        QCOMPARE(model_->startAll(), 0);
        QTest::qWait(100);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(window_->close());
        window_.reset();
        model_.reset();
        const qint64 took = clock.elapsed();
        QVERIFY(server.resume());
        QVERIFY(spinUntil([] { return quarn::approval::gateReadsInFlight() == 0; }, 15000));
        QVERIFY2(took < 5000, qPrintable(QString::number(took)));
    }

    // Stop all by its key, and closing the window answered yes: every unit
    // stops as Cancel does, "stopped", records interrupted. Answered no: nothing stops.
    void stopping_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close, yes") << "yes";
        QTest::newRow("close, no") << "no";
    }
    void stopping() {
        QFETCH(QString, how);
        // 100 blocks paced at 9600 bit/s take seven seconds; the real clock's
        // time-out leaves the pacing room.
        useRealClock();
        open({plug(0, with(sim::Stage::Verdict, {}, 9600)),
              plug(1, with(sim::Stage::Verdict, {}, 9600))},
             false, 100 * 64);
        QList<quarn::MsgBoxRequest> asked;
        const auto previous = quarn::setMsgBoxHandler([&](const quarn::MsgBoxRequest& r) {
            asked << r;
            return how == "yes" ? quarn::kAnswerYes : quarn::kAnswerNo;
        });
        button(QStringLiteral("Start all"))->click();
        QVERIFY(spinUntil(
            [&] { return status(0).startsWith("block") && status(1).startsWith("block"); }, 20000));
        if (how == "Esc")
            QTest::keyClick(window_.get(), Qt::Key_Escape);
        else
            window_->close();
        const bool stopped =
            spinUntil([&] { return !model_->anyRunning(); }, how == "no" ? 1500 : 10000);
        QVERIFY2(stopped == (how != "no"), qPrintable(status(0) + " / " + status(1)));
        quarn::setMsgBoxHandler(previous);
        QCOMPARE(asked.size(), how == "Esc" ? 0 : 1);
        if (how == "no") {
            QVERIFY2(window_->isVisible(), qPrintable(status(0) + status(1)));
            model_->stopAll();
            QVERIFY(waitIdle());
            return;
        }
        QVERIFY(spinUntil([&] { return window_->isVisible() == (how == "Esc"); }, 2000));
        for (int k = 0; k < 2; ++k) QCOMPARE(status(k), QStringLiteral("stopped"));
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& o : records)
            QCOMPARE(o["outcome"].toString(), QStringLiteral("interrupted"));
    }

    // The scanner types a number and Enter: the field fills, focus moves on;
    // with serial numbers required the slot without one stays ready; a number
    // already loaded good this shift is flagged.
    void scanner() {
        open({plug(0), plug(1)}, true);
        window_->activateWindow();
        QLineEdit* first = window_->tile(0)->serialField();
        first->setFocus();
        QTest::keyClicks(first, QStringLiteral("SN-0001"));
        QTest::keyClick(first, Qt::Key_Return);
        QCOMPARE(model_->slot(0).serial, QStringLiteral("SN-0001"));
        QVERIFY(window_->tile(1)->serialField()->hasFocus());
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QCOMPARE(status(0), QStringLiteral("good"));
        QCOMPARE(status(1), QStringLiteral("ready"));
        QCOMPARE(labelText(window_->tile(1), "Flag"), QString());
        QTest::keyClicks(window_->tile(1)->serialField(), QStringLiteral("SN-0001"));
        QCOMPARE(labelText(window_->tile(1), "Flag"),
                 QStringLiteral("this serial number already loaded good this shift"));
    }

    // Auto-start: an empty socket waits; a unit that appears is loaded at
    // once, then "remove the unit" while it still answers, with no second
    // session; once silent the slot waits for the next unit.
    void autoStart() {
        sim::Config quick;
        quick.idleResetMs = 300;  // the unit waits for a handshake again after 0.3 s
        const QString port = plug(0, quick);
        const auto empty = [&] {
            units_[0]->setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
            units_[0]->setFault(sim::Stage::Login, makeFault(sim::FaultKind::Silence));
        };
        empty();
        open({port});
        button(QStringLiteral("Auto-start"))->click();
        QVERIFY(waitStatus(0, QStringLiteral("waiting for a unit"), 2000));
        QTest::qWait(1000);
        QCOMPARE(status(0), QStringLiteral("waiting for a unit"));
        units_[0]->clearFaults();
        units_[0]->repower();
        QVERIFY(waitStatus(0, QStringLiteral("good"), 10000));
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit"), 2000));
        QCOMPARE(window_->tile(0)->colour(), QStringLiteral("good"));
        // Past the time a unit taken out would take to be seen gone, the
        // seconds since the session: a unit swapped in unseen shows as one that stays.
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit (3 s)"), 4000));
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit (4 s)"), 2000));
        QCOMPARE(units_[0]->sessions().size(), size_t(1));
        empty();
        QVERIFY(waitStatus(0, QStringLiteral("waiting for a unit"), 3000));
        QCOMPARE(window_->tile(0)->colour(), QStringLiteral("good"));  // until the next unit
        QCOMPARE(readRecords(log_).size(), 1);
        button(QStringLiteral("Auto-start"))->click();
        QVERIFY(waitStatus(0, QStringLiteral("ready"), 3000));
    }

    // The log moved aside between two units (log rotation): the second
    // unit's record goes to a new file at the log's path, none into the moved one.
    void logMovedAside() {
        open({plug(0)});
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QVERIFY(QFile::rename(log_, log_ + ".1"));
        plug(0);  // the next unit in the socket
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QCOMPARE(status(0), QStringLiteral("good"));
        QCOMPARE(readRecords(log_ + ".1").size(), 1);
        QCOMPARE(readRecords(log_).size(), 1);
    }

    // A log whose last line was cut short (power lost): the status bar names
    // the line; the next record is a whole line of its own.
    void logCutShort() {
        writeFile(dir_.path(), QFileInfo(log_).fileName(), "{\"id\":1}\n{\"id\":2,\"ser");
        open({plug(0)});
        QVERIFY2(window_->statusBar()->currentMessage().startsWith("line 2 of " + log_ +
                                                                   " was cut short"),
                 qPrintable(window_->statusBar()->currentMessage()));
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[2]["outcome"].toString(), QStringLiteral("good"));
    }

    // A port pulled shows "not plugged in" within two seconds, and "ready"
    // once back; an adapter plugged into the hub becomes a new slot.
    void hotPlug() {
        const QString port = plug(0);
        open({port});
        QCOMPARE(status(0), QStringLiteral("ready"));
        units_[0].reset();
        QVERIFY(waitStatus(0, QStringLiteral("not plugged in"), 2000));
        plug(0);
        QVERIFY(waitStatus(0, QStringLiteral("ready"), 2000));

        QDir root(dir_.filePath("serial"));
        QVERIFY(root.mkpath("by-path"));
        StationConfig c;
        c.serialRoot = root.path();
        c.source = SlotSource::Adapters;
        model_ = std::make_unique<StationModel>(c, QList<Slot>{});
        window_ = std::make_unique<StationWindow>(*model_);
        QCOMPARE(window_->tileCount(), 0);
        QVERIFY(QFile::link(port, root.filePath("by-path/usb-0:1.2:1.0-port0")));
        QVERIFY(spinUntil([&] { return window_->tileCount() == 1; }, 2000));
        QCOMPARE(window_->tile(0)->accessibleName(), QStringLiteral("Slot 1"));
        QCOMPARE(status(0), QStringLiteral("ready"));
    }

    // Where the slots come from: -p in order, else the settings' list, else
    // the adapters sorted by their by-path names (a hub's sockets in order).
    void slotSources() {
        QDir root(dir_.filePath("sources"));
        QVERIFY(root.mkpath("by-path"));
        for (const char* name :
             {"usb-0:1.3:1.0-port0", "usb-0:1.1:1.0-port0", "usb-0:1.2:1.0-port0"})
            QVERIFY(QFile::link("/dev/null", root.filePath(QStringLiteral("by-path/") + name)));
        quarn::Settings empty(dir_.filePath("empty.conf"));
        quarn::Settings fixed(dir_.filePath("fixed.conf"));
        fixed.setValue(quarn::SettingKey::StationPorts, QStringList{"/dev/b", "/dev/a"});
        struct Row {
            QStringList ports;
            quarn::Settings* settings;
            SlotSource source;
            QStringList expected;
        };
        const QString byPath = root.filePath("by-path/usb-0:1.%1:1.0-port0");
        const Row rows[] = {
            {{"/dev/z", "/dev/y"}, &fixed, SlotSource::CommandLine, {"/dev/z", "/dev/y"}},
            {{}, &fixed, SlotSource::Settings, {"/dev/b", "/dev/a"}},
            {{}, &empty, SlotSource::Adapters, {byPath.arg(1), byPath.arg(2), byPath.arg(3)}}};
        for (const Row& row : rows) {
            SlotSource source{};
            const QList<Slot> list = slotsFrom(row.ports, *row.settings, &source, root.path());
            QCOMPARE(source, row.source);
            QStringList names, stable;
            for (const Slot& slot : list) names << slot.name, stable << slot.stableName;
            QCOMPARE(stable, row.expected);
            QCOMPARE(names.last(), QStringLiteral("Slot %1").arg(row.expected.size()));
        }
    }

    // The shift's counters: a serial's first pass decides its yield; a unit
    // without a serial is its own session; a stopped session is no pass.
    void counters() {
        ShiftCounters c(QDateTime::currentDateTimeUtc().addSecs(-1800));
        const struct {
            const char* serial;
            bool good;
        } sessions[] = {{"A", false}, {"A", true}, {"B", true}, {"", true}, {"", false}};
        for (const auto& s : sessions) c.count(QString::fromLatin1(s.serial), s.good);
        QCOMPARE(c.good(), 3);
        QCOMPARE(c.failed(), 2);
        QCOMPARE(c.firstPassYield(), 50.0);  // B and one unnamed of A, B and two unnamed
        QVERIFY(c.loadedGood("A") && !c.loadedGood("C"));
        QVERIFY(qAbs(c.unitsPerHour() - 6.0) < 0.1);
    }

    // A serial number goes with the unit it was scanned for: cleared once
    // the record is written (the tile shows it as the last unit's), so the
    // next unit that nobody scanned has none; a number waiting in another
    // slot is flagged as soon as it loads good elsewhere.
    void serialBelongsToOneUnit() {
        open({plug(0), dir_.filePath(QStringLiteral("absent"))});
        model_->scanSerial(0, QStringLiteral("SN-7"));
        model_->scanSerial(1, QStringLiteral("SN-7"));  // for a unit still to come
        QCOMPARE(labelText(window_->tile(1), "Flag"), QString());
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QCOMPARE(window_->tile(0)->serialField()->text(), QString());
        QCOMPARE(labelText(window_->tile(0), "Last serial"), QStringLiteral("SN-7"));
        QCOMPARE(labelText(window_->tile(1), "Flag"),
                 QStringLiteral("this serial number already loaded good this shift"));
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0]["serial"].toString(), QStringLiteral("SN-7"));
        QCOMPARE(records[1]["serial"].toString(), QString());
    }

    // A serial number that failed three times here is held for repair: its
    // unit hears nothing, the tile says why and how often, its record says
    // held, and Start failed again leaves it alone; the other slot loads.
    void retestLimit() {
        QFile log(log_);
        QVERIFY(log.open(QIODevice::WriteOnly));
        for (const char* outcome : {"transfer", "login", "handshake"})
            log.write(QJsonDocument(
                          QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                      {"serial", "SN-R"},
                                      {"outcome", outcome}})
                          .toJson(QJsonDocument::Compact) +
                      '\n');
        log.close();
        open({plug(0), plug(1)});
        model_->scanSerial(0, QStringLiteral("SN-R"));
        model_->scanSerial(1, QStringLiteral("SN-G"));
        QCOMPARE(model_->startAll(), 2);
        QVERIFY(waitIdle());
        QCOMPARE(status(0), QStringLiteral("retest limit: to repair"));
        QCOMPARE(labelText(window_->tile(0), "Explanation"),
                 QStringLiteral("3 attempts; attempts from the local log"));
        QCOMPARE(status(1), QStringLiteral("good"));
        QCOMPARE(units_[0]->received().size(), size_t(0));
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 5);
        QCOMPARE(records[3]["outcome"].toString() + records[4]["outcome"].toString(),
                 QStringLiteral("heldgood"));
        QCOMPARE(model_->startFailed(), 0);
    }

    // With serial numbers required, Auto-start only probes a unit until its
    // number is scanned ("scan a serial number"), then loads it with that
    // number; the next unit in the slot waits for a number of its own.
    void autoStartWaitsForSerial() {
        open({plug(0, quick())}, true);
        button(QStringLiteral("Auto-start"))->click();
        QVERIFY(waitStatus(0, QStringLiteral("scan a serial number"), 5000));
        QTest::qWait(1000);
        QCOMPARE(logins(*units_[0]), 0);
        model_->scanSerial(0, QStringLiteral("SN-9"));
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit"), 10000));
        units_[0]->setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
        QVERIFY(waitStatus(0, QStringLiteral("waiting for a unit"), 10000));
        units_[0]->clearFaults();  // the next unit
        QVERIFY(waitStatus(0, QStringLiteral("scan a serial number"), 5000));
        QCOMPARE(logins(*units_[0]), 1);
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0]["serial"].toString(), QStringLiteral("SN-9"));
    }

    // Auto-start switched off while a unit loads lets it finish; on again
    // before it ends, the slot is watched again afterwards. An adapter
    // plugged in while Auto-start is on is watched at once.
    void autoStartToggled() {
        open({plug(0, quick(9600))});
        QPushButton* autoStart = button(QStringLiteral("Auto-start"));
        autoStart->click();
        QVERIFY(spinUntil([&] { return status(0).startsWith(QStringLiteral("block")); }, 10000));
        autoStart->click();
        autoStart->click();
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit"), 20000));
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0]["outcome"].toString(), QStringLiteral("good"));

        QDir root(dir_.filePath("toggled"));
        QVERIFY(root.mkpath("by-path"));
        StationConfig c;
        c.serialRoot = root.path();
        c.source = SlotSource::Adapters;
        c.image = quarn::DownloadImage(file_, kLength);
        window_.reset();
        model_ = std::make_unique<StationModel>(c, QList<Slot>{});
        model_->setAutoStart(true);
        window_ = std::make_unique<StationWindow>(*model_);
        QVERIFY(QFile::link(plug(1, quick()), root.filePath("by-path/usb-0:1.4:1.0-port0")));
        QVERIFY(spinUntil([&] { return window_->tileCount() == 1; }, 2000));
        QVERIFY(waitStatus(0, QStringLiteral("remove the unit"), 10000));
    }

    // The same socket has one name in every record, from the station and
    // from quarn-flash, whatever the port was called: its by-path link.
    void oneSlotNamePerSocket() {
        const QString device = QFileInfo(plug(0)).canonicalFilePath();
        QDir root(dir_.filePath("names"));
        QVERIFY(root.mkpath("by-path") && root.mkpath("by-id"));
        const QString byPath = root.filePath("by-path/pci-0000:00:14.0-usb-0:1.3:1.0-port0");
        const QString byId = root.filePath("by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0");
        QVERIFY(QFile::link(device, byPath) && QFile::link(device, byId));
        qputenv("QUARN_SERIAL_ROOT", root.path().toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("QUARN_SERIAL_ROOT"); });
        open({device});
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(waitIdle());
        QProcess flash;
        flash.start(
            QStringLiteral(QUARN_FLASH_PATH),
            {"--file", file_, "--length", QString::number(kLength), "--log", log_, "-p", byId});
        QVERIFY(flash.waitForFinished(20000));
        QCOMPARE(flash.exitCode(), 0);
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& r : records) QCOMPARE(r["slot"].toString(), byPath);
    }

    // The log stops taking records (its folder gone, a file in its place)
    // while a unit loads: the unit finishes and its record waits in memory;
    // nothing new starts and the status bar names the log; closing asks
    // first; once the log can be written again the record goes in.
    void logUnwritable() {
        const QString folder = dir_.filePath(QStringLiteral("blocked"));
        log_ = folder + QStringLiteral("/log.jsonl");
        open({plug(0, quick(9600))});
        QCOMPARE(model_->startAll(), 1);
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(dir_.path(), QStringLiteral("blocked"), "not a folder");
        QVERIFY(waitIdle());
        QCOMPARE(status(0), QStringLiteral("good"));
        QVERIFY(window_->statusBar()->currentMessage().contains(log_));
        for (const char* name : {"Start all", "Start failed again", "Auto-start"})
            QVERIFY2(!button(QString::fromLatin1(name))->isEnabled(), name);
        QCOMPARE(model_->startAll(), 0);
        BoxRecorder boxes;
        QVERIFY(!window_->close());
        QVERIFY(
            boxes.prompts().value(0).startsWith(QStringLiteral("1 record could not be written")));
        QVERIFY(QFile::remove(folder));
        QVERIFY(spinUntil([&] { return readRecords(log_).size() == 1; }, 8000));
        QVERIFY(button(QStringLiteral("Start all"))->isEnabled());
    }

    // SIGTERM (the PC shutting down) while two units load: each stops as by
    // Stop all with its interrupted record, and the station ends at once
    // with 130; with nothing loading, 0.
    void stopSignal_data() {
        QTest::addColumn<bool>("loading");
        QTest::newRow("two units loading") << true;
        QTest::newRow("nothing loading") << false;
    }
    void stopSignal() {
        QFETCH(bool, loading);
        const QString init = writeFile(dir_.path(), QStringLiteral("Init.txt"),
                                       initText(stepTexts(1), QStringLiteral("6400")));
        writeFile(dir_.path(), QStringLiteral("firmware.bin"), patternBytes(100 * 64));
        sim::Config paced;  // the real clock's pause: the unit waits 2 s before a new handshake
        paced.baud = 9600;
        const QStringList ports{plug(0, paced), plug(1, paced)};
        if (!loading)
            for (auto& u : units_)
                u->setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
        QProcess station;
        station.start(QStringLiteral(QUARN_STATION_PATH),
                      {"-p", ports[0], "-p", ports[1], "--auto", "--log", log_, init});
        QVERIFY(station.waitForStarted());
        const auto transferring = [&] {
            return std::all_of(units_.begin(), units_.end(),
                               [](const auto& u) { return u->received().size() > 12 + 3 * 67; });
        };
        QVERIFY(loading ? spinUntil(transferring, 20000) : !spinUntil(transferring, 1500));
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(station.processId()), SIGTERM);
        QVERIFY(station.waitForFinished(10000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(station.exitCode(), loading ? 130 : 0);
        const QList<QJsonObject> records = readRecords(log_);
        QCOMPARE(records.size(), loading ? 2 : 0);
        for (const QJsonObject& r : records)
            QCOMPARE(r["outcome"].toString(), QStringLiteral("interrupted"));
    }

    // The real station with Auto-start on, a slot for each unit of every kind
    // with no probe reply lost, one, and two not in a row: a unit left in its
    // socket is logged into once, and the next one put in after it is loaded
    // once.
    void autoStartEveryKindOncePerInsertion() {
        const QString init = writeFile(dir_.path(), QStringLiteral("Init.txt"),
                                       initText(stepTexts(1), QStringLiteral("2000")));
        writeFile(dir_.path(), QStringLiteral("firmware.bin"), patternBytes(2000));
        QTemporaryDir dir;
        KindRack rack(dir.path());
        QStringList args{"--auto", "--log", log_};
        for (const QString& port : rack.ports()) args << "-p" << port;
        QProcess station;
        station.start(QStringLiteral(QUARN_STATION_PATH), args << init);
        QVERIFY(station.waitForStarted());
        const KindRack::Insertions run = rack.runInsertions();
        ::kill(pid_t(station.processId()), SIGTERM);
        QVERIFY(station.waitForFinished(10000));
        QVERIFY2(run.loadedFirst && run.first == rack.expected(1), qPrintable(run.first));
        QVERIFY2(run.loadedSecond && run.second == rack.expected(2), qPrintable(run.second));
        QCOMPARE(readRecords(log_).size(), 2 * rack.size());
    }

    // SIGTERM while the log takes no record (a file stands where its folder
    // should be): the log is tried once more, the record it still refuses
    // goes to standard error as a JSON line, and the station ends with 7; a
    // log that takes records again by the signal gets the record, exit 0.
    void stopSignalWithHeldRecord_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("log refused") << false;
        QTest::newRow("log back before the signal") << true;
    }
    void stopSignalWithHeldRecord() {
        QFETCH(bool, writable);
        const QString init = writeFile(dir_.path(), QStringLiteral("Init.txt"),
                                       initText(stepTexts(1), QStringLiteral("6400")));
        writeFile(dir_.path(), QStringLiteral("firmware.bin"), patternBytes(100 * 64));
        const QString folder = dir_.filePath(QStringLiteral("held-%1").arg(writable));
        QVERIFY(QDir().mkpath(folder));
        log_ = folder + QStringLiteral("/log.jsonl");
        sim::Config paced;
        paced.baud = 19200;
        QProcess station;
        station.start(QStringLiteral(QUARN_STATION_PATH),
                      {"-p", plug(0, paced), "--auto", "--log", log_, init});
        QVERIFY(station.waitForStarted());
        QVERIFY(spinUntil([&] { return units_[0]->received().size() > 12 + 3 * 67; }, 20000));
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(dir_.path(), QFileInfo(folder).fileName(), "not a folder");
        QVERIFY(units_[0]->waitForSessions(1, 20000));
        QTest::qWait(1000);  // the station has the record (else it ends with 130)
        if (writable) QVERIFY(QFile::remove(folder) && QDir().mkpath(folder));
        ::kill(pid_t(station.processId()), SIGTERM);
        QVERIFY(station.waitForFinished(10000));
        QList<QJsonObject> spilled;
        const QByteArray err = station.readAllStandardError();
        for (const QByteArray& line : err.split('\n'))
            if (line.startsWith('{')) spilled << QJsonDocument::fromJson(line).object();
        QVERIFY2(writable ? station.exitCode() != 7 : station.exitCode() == 7,
                 qPrintable(QString::number(station.exitCode())));
        const QList<QJsonObject> records = writable ? readRecords(log_) : spilled;
        QCOMPARE(spilled.size() + readRecords(log_).size(), 1);
        QVERIFY2(records.size() == 1 && records[0]["outcome"] == "good", err.constData());
    }

    // SIGTERM while the approved list is being read from a stalled database:
    // the station ends at once, leaving the read behind.
    void stopSignalDuringCheck() {
        PgServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        const QString init = writeFile(dir_.path(), QStringLiteral("Init.txt"),
                                       initText(stepTexts(1), QStringLiteral("6400")));
        writeFile(dir_.path(), QStringLiteral("firmware.bin"), patternBytes(100 * 64));
        QVERIFY(server.pause());
        QProcess station;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARN_DB"), server.url());
        station.setProcessEnvironment(env);
        station.start(QStringLiteral(QUARN_STATION_PATH),
                      {"-p", plug(0), "--approved-only", "--no-log", init});
        QVERIFY(station.waitForStarted());
        // The read's thread is up (made just before the signals are watched).
        const QString tasks = QStringLiteral("/proc/%1/task").arg(station.processId());
        QVERIFY(spinUntil(
            [&] {
                for (const QString& t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                    QFile comm(tasks + QLatin1Char('/') + t + QStringLiteral("/comm"));
                    if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pool"))
                        return true;
                }
                return false;
            },
            10000));
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(station.processId()), SIGTERM);
        const bool ended = station.waitForFinished(10000);
        const qint64 took = clock.elapsed();
        QVERIFY(server.resume());
        QVERIFY(ended);
        QVERIFY2(took < 5000, qPrintable(QString::number(took)));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
    }

    // --help and --version need no display; without one the window is refused with advice.
    void commandLine() {
        struct Row {
            QStringList args;
            int exit;
            const char* text;
        };
        const Row rows[] = {{{"--help"}, 0, "Usage: quarn-station [options] [INIT]"},
                            {{"--version"}, 0, "quarn-station 1."},
                            {{}, 1, "no display"},
                            {{"--bogus"}, 1, "Unknown option 'bogus'"}};
        for (const Row& row : rows) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(QUARN_STATION_PATH), row.args);
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(p.exitCode(), row.exit);
            QVERIFY2((p.readAllStandardOutput() + p.readAllStandardError()).contains(row.text),
                     row.text);
        }
    }
};

QTEST_MAIN(TestStation)
#include "test_station.moc"
