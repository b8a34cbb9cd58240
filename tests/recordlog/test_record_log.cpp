// The local log of records on real files: it follows its path when the file
// is moved aside, deleted or replaced; it ends a last line cut short before
// the next record, as the push reads it; and a line that does not fit on a
// full disk is cut back without taking another writer's record with it.
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <chrono>
#include <cstring>
#include <future>

#include "record/columns.h"
#include "record/record_json.h"
#include "record/slot_flags.h"
#include "record/unit_record.h"
#include "recordlog/log_reader.h"
#include "recordlog/record_log.h"

using quarn::recordlog::LogReader;
using quarn::recordlog::RecordLog;

namespace {

const QByteArray kFirst = "{\"outcome\":\"good\",\"n\":1}\n";
const QByteArray kSecond = "{\"outcome\":\"good\",\"n\":2}\n";

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

QString cutShort(int line, const QString& path) {
    return QStringLiteral(
               "line %1 of %2 was cut short (power lost?); it is kept as it is and skipped by the "
               "push")
        .arg(line)
        .arg(path);
}

// A writer whose line goes out while another one, on its own thread, tries
// to append its record: between this writer taking the file's size and
// writing, where a cut-back would hit what the other wrote.
class Interleaved : public RecordLog {
public:
    Interleaved(RecordLog& other, QByteArray line) : other_(other), line_(std::move(line)) {}
    bool otherAppended() { return other_.isOpen() && otherDone_.valid() && otherDone_.get(); }
    QString otherWhy;

protected:
    void beforeWrite() override {
        if (!std::exchange(armed_, false)) return;
        otherDone_ =
            std::async(std::launch::async, [this] { return other_.append(line_, &otherWhy); });
        // Unhindered, the other writer is done in well under this time.
        otherDone_.wait_for(std::chrono::milliseconds(200));
    }

private:
    RecordLog& other_;
    QByteArray line_;
    bool armed_ = true;
    std::future<bool> otherDone_;
};

}  // namespace

class TestRecordLog : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString log_;

private slots:
    void init() {
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        log_ = dir_.filePath(
            QStringLiteral("%1-%2/sessions.jsonl").arg(QTest::currentTestFunction(), tag));
    }

    // Between two appends the file at the path changes: the second record
    // goes to the path, never into the file moved aside.
    void followsPath_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("aside");  // LOG.1 afterwards
        QTest::addColumn<QByteArray>("after");  // LOG afterwards
        QTest::addColumn<int>("cutLine");       // the warning's line, 0 for none
        QTest::newRow("moved aside") << "move" << kFirst << kSecond << 0;
        QTest::newRow("deleted") << "delete" << QByteArray("(none)") << kSecond << 0;
        QTest::newRow("folder removed") << "rmdir" << QByteArray("(none)") << kSecond << 0;
        QTest::newRow("replaced") << "replace" << kFirst << "{\"other\":1}\n" + kSecond << 0;
        QTest::newRow("replaced, cut short")
            << "replace cut" << kFirst << "{\"other\":1}\n{\"oth\n" + kSecond << 2;
    }
    void followsPath() {
        QFETCH(QString, change);
        QFETCH(QByteArray, aside);
        QFETCH(QByteArray, after);
        QFETCH(int, cutLine);
        RecordLog log;
        QString why;
        QVERIFY2(log.open(log_, &why) && log.append(kFirst, &why), qPrintable(why));
        if (change == "move" || change.startsWith("replace"))
            QVERIFY(QFile::rename(log_, log_ + ".1"));
        if (change == "delete") QVERIFY(QFile::remove(log_));
        if (change == "rmdir") QVERIFY(QDir(QFileInfo(log_).path()).removeRecursively());
        if (change.startsWith("replace"))
            put(log_, change == "replace" ? "{\"other\":1}\n" : "{\"other\":1}\n{\"oth");
        QVERIFY2(log.append(kSecond, &why), qPrintable(why));
        QCOMPARE(contents(log_), after);
        QCOMPARE(contents(log_ + ".1"), aside);
        QCOMPARE(log.warning(), cutLine ? cutShort(cutLine, log_) : QString());
    }

    // Opening a log whose last line has no newline ends that line first: the
    // next record is a whole line, and the push skips the damaged one by the
    // line number the warning names.
    void lastLineCutShort_data() {
        QTest::addColumn<QByteArray>("before");  // "(none)": no file
        QTest::addColumn<int>("cutLine");
        QTest::newRow("ends in a newline") << kFirst << 0;
        QTest::newRow("cut short") << kFirst + "{\"outcome\":\"go" << 2;
        QTest::newRow("only line cut short") << QByteArray("{\"out") << 1;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("missing") << QByteArray("(none)") << 0;
    }
    void lastLineCutShort() {
        QFETCH(QByteArray, before);
        QFETCH(int, cutLine);
        QVERIFY(QDir().mkpath(QFileInfo(log_).path()));
        if (before != "(none)") put(log_, before);
        RecordLog log;
        QString why, warning;
        QVERIFY2(log.open(log_, &why, &warning), qPrintable(why));
        QCOMPARE(warning, cutLine ? cutShort(cutLine, log_) : QString());
        QVERIFY2(log.append(kSecond, &why), qPrintable(why));
        const QByteArray whole = before == "(none)" ? QByteArray() : before;
        QCOMPARE(contents(log_), whole + (cutLine ? "\n" : "") + kSecond);

        LogReader reader;
        QVERIFY2(reader.open(log_, {}, &why), qPrintable(why));
        const quarn::recordlog::LogBatch batch = reader.next(100);
        QCOMPARE(batch.warnings.size(), cutLine ? 1 : 0);
        if (cutLine)
            QVERIFY2(batch.warnings[0].contains(QStringLiteral(" line %1: damaged").arg(cutLine)),
                     qPrintable(batch.warnings[0]));
        QCOMPARE(batch.records.last()["n"].toInt(), 2);
    }

    // The reader takes the ids PostgreSQL reads, whole UUIDs; a line whose
    // id only begins with one is damaged (else the server refuses its batch).
    void wholeIds_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("taken");
        const QString u = QStringLiteral("0db24406-9087-4025-951c-6f5f274f9814");
        QTest::newRow("plain") << u << true;
        QTest::newRow("braces") << "{" + u + "}" << true;
        QTest::newRow("upper case") << u.toUpper() << true;
        QTest::newRow("suffix") << u + "-0" << false;
        QTest::newRow("one digit more") << u + "0" << false;
        QTest::newRow("brace open") << "{" + u << false;
        QTest::newRow("one digit less") << u.chopped(1) << false;
    }
    void wholeIds() {
        QFETCH(QString, id);
        QFETCH(bool, taken);
        QVERIFY(QDir().mkpath(QFileInfo(log_).path()));
        put(log_, QJsonDocument(QJsonObject{{"id", id}}).toJson(QJsonDocument::Compact) + '\n');
        LogReader reader;
        QString why;
        QVERIFY2(reader.open(log_, {}, &why), qPrintable(why));
        const quarn::recordlog::LogBatch batch = reader.next(10);
        QCOMPARE(batch.records.size(), taken ? 1 : 0);
        QCOMPARE(batch.warnings.size(), taken ? 0 : 1);
    }

    // A new record's id is a version-7 UUID whose first 48 bits are the
    // milliseconds of its making: ids made later sort later.
    void newIdsInTimeOrder() {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const QString id = quarn::record::UnitRecord().id;
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY2(!QUuid::fromString(id).isNull() && id[14] == '7' &&
                     QStringLiteral("89ab").contains(id[19]),
                 qPrintable(id));
        const qint64 ms = (id.left(8) + id.mid(9, 4)).toLongLong(nullptr, 16);
        QVERIFY2(ms >= before && ms <= after, qPrintable(id));
    }

    // On a full tmpfs this writer's line does not fit and is cut back, while
    // another writer appends between this one taking the file's size and
    // writing: the other's whole record survives, and the failure names the
    // log and the system's reason.
    // The one column table writes every key and reads each back as written:
    // a record through its log line and the log's reader is the record again.
    void recordRoundTrip() {
        quarn::record::UnitRecord r;
        r.imageSha256 = QByteArray(32, '\x5a');
        r.station = "bench-2", r.operatorName = "ann", r.serial = "SN-7", r.slot = "pci-0:1";
        r.approved = false, r.port = "COM2", r.device = "/dev/ttyUSB1", r.file = "/img/a.bin";
        r.length = 4096, r.blocks = 64, r.repeats = 3, r.sha256 = QByteArray(32, '\x11');
        r.outcome = quarn::record::SessionOutcome::Transfer,
        r.message = "No reply at block 5 of 64";
        r.started = QDateTime(QDate(2026, 12, 8), QTime(6, 0, 1, 250), Qt::UTC);
        r.seconds = 12.345;
        QTemporaryDir dir;
        const QString path = dir.filePath("records.jsonl");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(quarn::record::toJsonLine(r)) > 0);
        f.close();
        quarn::recordlog::LogReader reader;
        QString why;
        QVERIFY2(reader.open(path, {}, &why), qPrintable(why));
        const auto batch = reader.next(10);
        QCOMPARE(batch.records.size(), 1);
        QCOMPARE(batch.records[0].size(), quarn::record::columns().size());
        QCOMPARE(batch.records[0]["bytes"].toInt(), 64 * 64);
        const auto back = quarn::record::recordFromJson(batch.records[0]);
        QCOMPARE(quarn::record::toJson(back), quarn::record::toJson(r));
        QCOMPARE(back.approved, r.approved);
        QCOMPARE(back.outcome, r.outcome);
        QCOMPARE(back.started, r.started);
    }

    void shortWriteSparesOthers() {
        QTemporaryDir mountPoint;
        if (QProcess::execute("mount",
                              {"-t", "tmpfs", "-o", "size=8k", "tmpfs", mountPoint.path()}) != 0)
            QSKIP("no tmpfs can be mounted here");
        auto unmount = qScopeGuard([&] { QProcess::execute("umount", {mountPoint.path()}); });
        // Two pages: one for a filler, one for the log, 96 bytes of it free.
        const QString path = mountPoint.filePath("sessions.jsonl");
        const QByteArray earlier = "{\"pad\":\"" + QByteArray(4000 - 11, 'x') + "\"}\n";
        put(path, earlier);
        put(mountPoint.filePath("filler"), QByteArray(4096, 'f'));
        const QByteArray others = "{\"writer\":\"other\"}\n";
        const QByteArray big = "{\"writer\":\"this\",\"pad\":\"" + QByteArray(200, 'y') + "\"}\n";

        RecordLog other;
        Interleaved log(other, others);
        QString why;
        QVERIFY2(other.open(path, &why) && log.open(path, &why), qPrintable(why));
        QVERIFY(!log.append(big, &why));
        QCOMPARE(why, QStringLiteral("cannot write the log %1: %2")
                          .arg(path, QString::fromLocal8Bit(std::strerror(ENOSPC))));
        QVERIFY2(log.otherAppended(), qPrintable(log.otherWhy));
        QCOMPARE(contents(path), earlier + others);
    }

    // The slot rules beside each other: repeats flag a socket only when the
    // Poisson test and the factor both say so, with enough sessions and
    // neighbours; wear flags past the socket life; the tails are exact.
    void socketRules() {
        using namespace quarn::record;
        const struct {
            const char* name;
            qint64 sessions, repeats, othersSessions, othersRepeats;
            bool flagged;
        } cases[] = {
            {"worn contact", 40, 20, 600, 30, true},
            {"others never repeat", 20, 3, 600, 0, true},
            {"significant, under twice the others", 10000, 1300, 100000, 10000, false},
            {"twice the others, not significant", 20, 2, 1000, 20, false},
            {"too few sessions", 19, 19, 600, 6, false},
            {"no other socket", 40, 40, 0, 0, false},
        };
        for (const auto& c : cases) {
            QList<SocketCount> sockets{{"bay", "s-1", c.sessions, 0, c.repeats}};
            if (c.othersSessions)
                sockets << SocketCount{"bay", "s-2", c.othersSessions, 0, c.othersRepeats};
            sockets << SocketCount{"other bay", "s-3", 100, 0, 0};  // another station counts not
            const SocketVerdict v = judgeSockets(sockets)[0];
            QVERIFY2(v.repeatsFlagged == c.flagged && !v.flagged, c.name);
        }
        QVERIFY(qAbs(poissonUpperTail(3, 1.0) - 0.0803013971) < 1e-9);  // above the mean
        QVERIFY(qAbs(poissonUpperTail(2, 5.0) - 0.9595723180) < 1e-9);  // below it
        QVERIFY(qAbs(binomialUpperTail(3, 10, 0.2) - 0.3222004736) < 1e-9);
        QVERIFY(qAbs(binomialUpperTail(8, 10, 0.3) - 0.0015903864) < 1e-9);
        QVERIFY(qAbs(binomialUpperTail(1, 1000, 0.001) - 0.6323045752) < 1e-9);
        QVERIFY(qAbs(binomialUpperTail(700, 1000, 0.6) / 3.14994592847e-11 - 1) < 1e-6);
        const struct {
            qint64 since, life;
            bool worn;
        } wear[] = {{10, 10, false}, {11, 10, true}, {50, 0, false}, {-1, 1, false}};
        for (const auto& w : wear) {
            QList<SocketVerdict> one{{{"bay", "s-1", 1, 0, 0, w.since}}};
            judgeWear(&one, w.life);
            QCOMPARE(one[0].worn, w.worn);
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordLog)
#include "test_record_log.moc"
