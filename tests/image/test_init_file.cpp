#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <iterator>

#include "image/init_file.h"

using namespace quarn;

namespace {

InitResult readBytes(const QByteArray& bytes) {
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    return readInit(buf);
}

// One line per value read, so a table row shows the whole outcome at a glance.
QString render(const InitResult& r) {
    if (!r.ok)
        return r.error.isEmpty() ? QStringLiteral("ERROR WITHOUT REASON") : QStringLiteral("ERR");
    const InitValues& v = r.values;
    QStringList all{v.header[0], v.header[1], v.header[2]};
    all << v.steps << QStringLiteral("StepEnd") << v.downloadFile
        << QString::number(v.downloadLength) << v.endMessage << v.downloadCaption;
    return all.join('|');
}

QByteArray withSteps(int n) {
    QByteArray f = "H1\r\nH2\r\nH3\r\n";
    for (int i = 1; i <= n; ++i) f += "Step " + QByteArray::number(i) + "\r\n";
    return f + "StepEnd\r\nunit.bin\r\n100\r\nDone\r\nTitle\r\n";
}

// A sequential device that makes up a huge file on the fly and counts what
// the reader pulled from it, so no such file has to exist on disk.
class MadeUpFile : public QIODevice {
public:
    MadeUpFile(QByteArray head, char filler, qint64 size)
        : head_(std::move(head)), filler_(filler), size_(size) {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 produced = 0;

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = qMin(max, size_ - produced);
        for (qint64 i = 0; i < n; ++i, ++produced)
            data[i] = produced < head_.size() ? head_[produced] : filler_;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray head_;
    char filler_;
    qint64 size_;
};

}  // namespace

class TestInitFile : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout() {
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        QCOMPARE(render(readBytes(input)), expected);
    }
    void length_data();
    void length() {
        QFETCH(QByteArray, field);
        QFETCH(int, expected);  // 99999: the file is refused
        const InitResult r = readBytes("a\nb\nc\nStepEnd\nf\n" + field + "\nm\nt\n");
        QCOMPARE(r.ok, expected != 99999);
        if (r.ok) QCOMPARE(int(r.values.downloadLength), expected);
    }
    void fieldCap_data();
    void fieldCap() {
        QFETCH(QByteArray, step);
        QFETCH(bool, ok);
        const InitResult r = readBytes("a\nb\nc\n" + step + "\nStepEnd\nf\n1\nm\nt\n");
        QCOMPARE(r.ok, ok);
        if (ok) QCOMPARE(r.values.steps.value(0).size(), 65536 - 2);
    }
    void hugeFileReadOnlyAsFarAsNeeded_data();
    void hugeFileReadOnlyAsFarAsNeeded() {
        QFETCH(QByteArray, head);
        QFETCH(char, filler);
        QFETCH(QString, expected);
        MadeUpFile dev(head, filler, 100LL * 1024 * 1024);
        QCOMPARE(render(readInit(dev)), expected);
        QVERIFY2(dev.produced < 128 * 1024, qPrintable(QString::number(dev.produced)));
    }
    void garbageIsDeterministic() {
        QRandomGenerator rng(1234);
        const QByteArray valid = withSteps(3);
        for (int round = 0; round < 500; ++round) {
            QByteArray junk(int(rng.bounded(600)), '\0');
            for (char& c : junk) c = char(rng.bounded(256));
            // Half the rounds splice junk into a valid file so the reader
            // gets past the header lines as well.
            if (round % 2) junk = valid.left(int(rng.bounded(valid.size()))) + junk;
            const InitResult a = readBytes(junk);
            QCOMPARE(render(readBytes(junk)), render(a));
            if (a.ok) QVERIFY(a.values.steps.size() <= kMaxSteps);
        }
    }
    // The reason a technician reads: the line and what was wrong there.
    void refusalReason_data();
    void refusalReason() {
        QFETCH(QByteArray, input);
        QFETCH(QString, reason);
        const InitResult r = readBytes(input);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, reason);
    }
    void readFromDisk() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(readInitFile(dir.filePath("Init.txt")).error, QStringLiteral("file not found"));
        QFile f(dir.filePath("Init.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(withSteps(2));
        f.close();
        QCOMPARE(render(readInitFile(f.fileName())),
                 QStringLiteral("H1|H2|H3|Step 1|Step 2|StepEnd|unit.bin|100|Done|Title"));
    }
};

void TestInitFile::refusalReason_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("reason");
    QTest::newRow("twelve steps")
        << withSteps(12) << "line 15: a twelfth step before \"StepEnd\" (at most 11 steps)";
    QTest::newRow("length too big, LF")
        << QByteArray("a\nb\nc\nStepEnd\nf\n40000\nm\nt\n")
        << "line 6: download length 40000 out of range -32768..32767";
    QTest::newRow("length not a number, quoted step over lines")
        << QByteArray("a\nb\nc\n\"x\r\ny\"\nStepEnd\nf\n1O0\nm\nt")
        << "line 8: download length \"1O0\" is not a number";
    QTest::newRow("fields missing after StepEnd")
        << QByteArray("a\r\nb\r\nc\r\nStepEnd\r\nf.bin\r\n")
        << "the file ends after line 5, before the download length (after \"StepEnd\")";
    QTest::newRow("no line end at the end")
        << QByteArray("a,b\nc") << "the file ends after line 2, before the \"StepEnd\" line";
    QTest::newRow("field too long") << "a\nb\nc\nStep 1\n" + QByteArray(70000, 'x') + "\nStepEnd\n"
                                    << "line 5: a field longer than 65536 bytes";
    QTest::newRow("empty") << QByteArray() << "the file is empty";
}

void TestInitFile::layout_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    const QString tail = "StepEnd|unit.bin|100|Done|Title";
    auto row = [](const char* name, const QByteArray& in, const QString& out) {
        QTest::newRow(name) << in << out;
    };
    row("no steps", withSteps(0), "H1|H2|H3|" + tail);
    QString eleven = "H1|H2|H3|";
    for (int i = 1; i <= 11; ++i) eleven += QStringLiteral("Step %1|").arg(i);
    row("eleven steps", withSteps(11), eleven + tail);
    row("twelve steps", withSteps(12), "ERR");
    row("lower-case stepend is a step", "h\nh\nh\nstepend\nStepEnd\nf\n1\nm\nt\n",
        "h|h|h|stepend|StepEnd|f|1|m|t");
    row("lower-case stepend only", "h\nh\nh\nstepend\nf\n1\nm\nt\n", "ERR");
    row("unquoted comma splits", "h\nh\nh\nOff, then wait\nStepEnd\nf\n1\nm\nt\n",
        "h|h|h|Off|then wait|StepEnd|f|1|m|t");
    row("quoted comma stays", "h\nh\nh\n\"Off, then wait\"\nStepEnd\nf\n1\nm\nt\n",
        "h|h|h|Off, then wait|StepEnd|f|1|m|t");
    row("quoted StepEnd ends", "h\nh\nh\n\"StepEnd\"\nf\n1\nm\nt\n", "h|h|h|StepEnd|f|1|m|t");
    row("blank line is empty step", "h\nh\nh\na\n\nb\nStepEnd\nf\n1\nm\nt\n",
        "h|h|h|a||b|StepEnd|f|1|m|t");
    row("missing StepEnd", "h\nh\nh\na\nb\n", "ERR");
    row("three fields after StepEnd", "h\nh\nh\nStepEnd\nf\n1\nm\n", "ERR");
    row("empty file", "", "ERR");
    row("mixed line ends", "h\r\nh\nh\r\nStepEnd\nf\r\n1\nm\r\nt", "h|h|h|StepEnd|f|1|m|t");
    row("blanks around fields", " \th1 \t\r\n  h2\r\nh3  \r\nStepEnd \r\n f \r\n 1 \r\nm\r\nt \r\n",
        "h1|h2|h3|StepEnd|f|1|m|t");
    row("quoted blanks stay", "\" h \"\nh\nh\n\"StepEnd \"\nStepEnd\nf\n1\nm\nt\n",
        " h |h|h|StepEnd |StepEnd|f|1|m|t");
    row("no final line end", "h\nh\nh\nStepEnd\nf\n1\nm\nTitle", "h|h|h|StepEnd|f|1|m|Title");
    row("comma then line end", "h,\nh,,\nStepEnd,\nf,1,m,t", "h|h||StepEnd|f|1|m|t");
    row("comma, blanks, line end", "h, \t\r\n h\nh\nStepEnd\nf\n1\nm\nt\n",
        "h|h|h|StepEnd|f|1|m|t");
    row("text after closing quote ignored", "\"h\" junk, more\nh\nStepEnd\nf\n1\nm\nt\n",
        "h|more|h|StepEnd|f|1|m|t");
    row("quoted line end kept", "\"h1\r\nh2\"\nh\nh\nStepEnd\nf\n1\nm\nt\n",
        "h1\r\nh2|h|h|StepEnd|f|1|m|t");
    row("unterminated quote at end", "h\nh\nh\nStepEnd\nf\n1\nm\n\"Title, x\r\nmore",
        "h|h|h|StepEnd|f|1|m|Title, x\r\nmore");
    row("unterminated quote in steps", "h\nh\nh\n\"a\nStepEnd\nf\n1\nm\nt\n", "ERR");
    row("lone CR is text", "h\rx\nh\nh\nStepEnd\nf\n1\nm\nt\r", "h\rx|h|h|StepEnd|f|1|m|t");
    row("UTF-8 BOM skipped", "\xEF\xBB\xBFh\nh\nh\nStepEnd\nf\n1\nm\nt\n", "h|h|h|StepEnd|f|1|m|t");
    row("BOM later is text", "h\n\xEF\xBB\xBFh\nh\nStepEnd\nf\n1\nm\nt\n",
        QString::fromUtf16(u"h|\uFEFFh|h|StepEnd|f|1|m|t"));
    row("UTF-8 text", "Caf\xC3\xA9 \xE2\x82\xAC\nh\nh\nStepEnd\nf\n1\nm\nt\n",
        QString::fromUtf16(u"Caf\u00E9 \u20AC|h|h|StepEnd|f|1|m|t"));
    row("Latin-1 text", "Caf\xE9\nh\nh\nStepEnd\nf\n1\nm\nt\n",
        QString::fromUtf16(u"Caf\u00E9|h|h|StepEnd|f|1|m|t"));
    row("overlong UTF-8 is Latin-1", "\xC0\xAF\nh\nh\nStepEnd\nf\n1\nm\nt\n",
        QString::fromUtf16(u"\u00C0\u00AF|h|h|StepEnd|f|1|m|t"));
    static const char nul[] = "h\0x\nh\nh\nStepEnd\nf\n1\nm\nt\n";
    static const char16_t nulOut[] = u"h\u0000x|h|h|StepEnd|f|1|m|t";
    row("NUL bytes kept", QByteArray(nul, sizeof nul - 1),
        QString::fromUtf16(nulOut, std::size(nulOut) - 1));
}

void TestInitFile::length_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("expected");
    const std::pair<const char*, int> rows[] = {
        {"100.9", 100},
        {"-0.5", -1},
        {"", 0},
        {" \t ", 0},
        {"40000", 99999},
        {"-32769", 99999},
        {"32767", 32767},
        {"-32768", -32768},
        {"-32768.5", 99999},
        {"32767.999999999999999999", 32767},
        {"-32768.000000000000000001", 99999},
        {"1e3", 1000},
        {"2.5E2", 250},
        {"3276.75e+1", 32767},
        {"+7", 7},
        {".5", 0},
        {"-.5", -1},
        {"5.", 5},
        {"-0", 0},
        {"-0.000", 0},
        {"00032767", 32767},
        {"1e-99999999999", 0},
        {"-1e-99999999999", -1},
        {"1e99999999999", 99999},
        {"0.00001e9", 10000},
        {"\" 42 \"", 42},
        {"words", 99999},
        {"12abc", 99999},
        {"0x10", 99999},
        {"inf", 99999},
        {"nan", 99999},
        {".", 99999},
        {"1e", 99999},
        {"1e+", 99999},
        {"--1", 99999},
        {"1 2", 99999},
        {"\xEF\xBC\x91", 99999},
    };
    for (const auto& [field, expected] : rows)
        QTest::newRow(field) << QByteArray(field) << expected;
}

void TestInitFile::fieldCap_data() {
    QTest::addColumn<QByteArray>("step");
    QTest::addColumn<bool>("ok");
    // The cap counts the field as it stands in the file, quotes included.
    QTest::newRow("64 KiB quoted") << "\"" + QByteArray(65536 - 2, 'x') + "\"" << true;
    QTest::newRow("one byte more") << QByteArray(65537, 'x') << false;
    QTest::newRow("blanks count") << QByteArray(65536, ' ') + "x" << false;
    QTest::newRow("1 MB line") << QByteArray(1 << 20, 'x') << false;
    QTest::newRow("1 MB unterminated quote") << "\"" + QByteArray(1 << 20, 'x') << false;
}

void TestInitFile::hugeFileReadOnlyAsFarAsNeeded_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<char>("filler");
    QTest::addColumn<QString>("expected");
    const QByteArray good = withSteps(1);
    QTest::newRow("valid top, garbage after")
        << good << 'x' << "H1|H2|H3|Step 1|StepEnd|unit.bin|100|Done|Title";
    QTest::newRow("valid top, NUL after")
        << good << '\0' << "H1|H2|H3|Step 1|StepEnd|unit.bin|100|Done|Title";
    QTest::newRow("no line end at all") << QByteArray() << 'x' << "ERR";
    QTest::newRow("endless empty lines") << QByteArray("h,h,h,") << '\n' << "ERR";
}

QTEST_GUILESS_MAIN(TestInitFile)
#include "test_init_file.moc"
