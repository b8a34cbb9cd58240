// INIT and the overrides resolved to the image a download sends, as every
// front end resolves them: which Init.txt is read, where the download file
// is looked for, what replaces what, and why a resolve fails.

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "image/blocks.h"
#include "image/resolve_image.h"
#include "tests/support/unit_rigs.h"

using namespace quarn;
using namespace testsupport;

class TestResolveImage : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray fw_ = patternBytes(300);

    QString at(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        for (const char* sub : {"unit", "short", "nofile", "bad"})
            QVERIFY(QDir(at(sub)).mkpath("."));
        const QByteArray init = "H1\r\nH2\r\nH3\r\nStepEnd\r\nfw.bin\r\n200\r\nDone\r\nTitle\r\n";
        writeFile(at("unit"), "Init.txt", init);
        writeFile(at("unit"), "fw.bin", fw_);
        writeFile(at("unit"), "other.bin", fw_.left(100));
        writeFile(at("short"), "Init.txt", init);
        writeFile(at("short"), "fw.bin", fw_.left(150));
        writeFile(at("nofile"), "Init.txt", init);
        writeFile(at("bad"), "Init.txt", "H1\r\nH2\r\nH3\r\nno terminator\r\n");
        QVERIFY(QDir::setCurrent(dir_.path()));
    }

    // Each row: INIT, --file, --length (-99999: not given); then the outcome:
    // the failure, the Init.txt read (relative to the test folder, "" when
    // none), a piece of the reason, the file sent, its length and title.
    void resolves_data() {
        QTest::addColumn<QString>("init");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("initPath");
        QTest::addColumn<QString>("why");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("sentLength");
        QTest::addColumn<QString>("title");
        const int none = -99999, ok = int(ImageFailure::None);
        const int initRefused = int(ImageFailure::InitRefused);
        const int fileRefused = int(ImageFailure::FileRefused);
        QTest::newRow("folder") << "unit"
                                << "" << none << ok << "unit/Init.txt"
                                << ""
                                << "unit/fw.bin" << 200 << "Title";
        QTest::newRow("file") << "unit/Init.txt"
                              << "" << none << ok << "unit/Init.txt"
                              << ""
                              << "unit/fw.bin" << 200 << "Title";
        QTest::newRow("no INIT: Init.txt here") << ""
                                                << "" << none << initRefused << "Init.txt"
                                                << "file not found"
                                                << "" << 0 << "";
        QTest::newRow("missing folder") << "gone/"
                                        << "" << none << initRefused << "gone/Init.txt"
                                        << "file not found"
                                        << "" << 0 << "";
        QTest::newRow("invalid Init.txt") << "bad"
                                          << "" << none << initRefused << "bad/Init.txt"
                                          << "StepEnd"
                                          << "" << 0 << "";
        QTest::newRow("download file missing") << "nofile"
                                               << "" << none << fileRefused << "nofile/Init.txt"
                                               << "Download file not found"
                                               << "" << 0 << "";
        QTest::newRow("download file short") << "short"
                                             << "" << none << fileRefused << "short/Init.txt"
                                             << "150 bytes, 200 needed"
                                             << "" << 0 << "";
        QTest::newRow("--length only") << "unit"
                                       << "" << 64 << ok << "unit/Init.txt"
                                       << ""
                                       << "unit/fw.bin" << 64 << "Title";
        QTest::newRow("--file only") << "unit"
                                     << "unit/other.bin" << none << fileRefused << "unit/Init.txt"
                                     << "100 bytes, 200 needed"
                                     << "" << 0 << "";
        QTest::newRow("--file and --length: no Init.txt") << "gone"
                                                          << "unit/other.bin" << 99 << ok << ""
                                                          << ""
                                                          << "unit/other.bin" << 99 << "";
        QTest::newRow("--file only, short Init.txt folder")
            << "short"
            << "unit/fw.bin" << none << ok << "short/Init.txt"
            << ""
            << "unit/fw.bin" << 200 << "Title";
    }

    void resolves() {
        QFETCH(QString, init);
        QFETCH(QString, file);
        QFETCH(int, length);
        QFETCH(int, failure);
        ImageSource source{init, file, std::nullopt};
        if (length != -99999) source.length = int16_t(length);
        const ResolvedImage r = resolveImage(source);
        QCOMPARE(int(r.failure), failure);
        QTEST(r.initPath, "initPath");
        QFETCH(QString, why);
        QVERIFY2(r.why.contains(why), qPrintable(r.why));
        QCOMPARE(r.ok(), why.isEmpty());
        QCOMPARE(r.image.isRead(), r.ok());
        if (!r.ok()) return;
        QFETCH(QString, sent);
        QFETCH(int, sentLength);
        QCOMPARE(r.image.path(), at(sent));
        QCOMPARE(int(r.image.length()), sentLength);
        QTEST(r.image.title(), "title");
        // The digest is of the blocks the unit receives, as the simulator collects them.
        const QByteArray held = sent.endsWith("other.bin") ? fw_.left(100) : fw_;
        QCOMPARE(r.image.sha256(), QCryptographicHash::hash(
                                       toQByteArray(sim::expectedImage(toBytes(held), sentLength)),
                                       QCryptographicHash::Sha256));
        QCOMPARE(r.image.identity().sha256Hex, QString::fromLatin1(r.image.sha256().toHex()));
        QCOMPARE(r.image.identity().file, QFileInfo(sent).fileName());
    }

    // The image read and its digest against the simulator's own idea of what
    // arrives, for lengths around a block's edge and a file of exactly that
    // many bytes or more.
    void imageDigest_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("more");  // bytes the file holds past the length
        for (int n : {-5, 0, 1, 63, 64, 65, 127, 128, 2000})
            for (int more : {0, 10}) QTest::addRow("%d+%d", n, more) << n << more;
    }
    void imageDigest() {
        QFETCH(int, length);
        QFETCH(int, more);
        const QByteArray file = patternBytes(qMax(length, 1) + more, 3);
        const QString path = writeFile(dir_.path(), QStringLiteral("digest.bin"), file);
        const QByteArray image = toQByteArray(sim::expectedImage(toBytes(file), length));
        DownloadImage read(path, int16_t(length));
        QString why;
        QVERIFY2(read.read(&why), qPrintable(why));
        QCOMPARE(read.sha256().toHex(),
                 QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
        QCOMPARE(read.bytes(), file.left(blocksFor(int16_t(length)) * kBlockSize));
    }
};

QTEST_GUILESS_MAIN(TestResolveImage)
#include "test_resolve_image.moc"
