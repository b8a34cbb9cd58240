// The settings file's one key table: the table of docs/settings.md says the
// same, row for row; every key reads its default from a file without it; a
// damaged file is reported to every reader and never written; one precedence
// of option, environment, file and default; and no source but core/settings.*
// opens the file with a QSettings of its own, none outside core/ reads the
// environment.

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "core/settings.h"

using namespace quarn;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// "key|environment|default|meaning" for each row of docs/settings.md's table
// of the settings, and for each entry of the table.
QStringList pageRows() {
    const QString page = QString::fromUtf8(readFile(QUARN_SOURCE_DIR "/docs/settings.md"));
    const QString section =
        page.section(QStringLiteral("\n## The settings file\n"), 1).section("\n## ", 0, 0);
    static const QRegularExpression row(
        QStringLiteral("^\\| (?:`\\[([^\\]]+)\\] ([^`]+)`)? \\| (?:`([^`]*)`)? \\| "
                       "(?:`([^`]*)`)? \\| (.+) \\|$"),
        QRegularExpression::MultilineOption);
    QStringList rows;
    for (const QRegularExpressionMatch& m : row.globalMatch(section)) {
        const QString key = m.hasCaptured(1) ? m.captured(1) + '/' + m.captured(2) : QString();
        rows << key + '|' + m.captured(3) + '|' + m.captured(4) + '|' + m.captured(5);
    }
    return rows;
}

QStringList tableRows() {
    QStringList rows;
    for (const SettingEntry& e : settingEntries())
        rows << QString::fromLatin1(e.key) + '|' + QString::fromLatin1(e.env) + '|' +
                    QString::fromLatin1(e.fallback) + '|' + QString::fromUtf8(e.meaning);
    return rows;
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void pageTableIsTheKeyTable() { QCOMPARE(pageRows(), tableRows()); }

    // A file without a key gives the table's default; the enum finds its row.
    void defaults() {
        const Settings settings(dir_.filePath("empty.conf"));
        QVERIFY(settings.usable());
        for (const SettingEntry& e : settingEntries()) {
            QCOMPARE(&settingEntry(e.id), &e);
            QCOMPARE(settings.value(e.id).toString(), QString::fromLatin1(e.fallback));
        }
        QCOMPARE(settings.value(SettingKey::StationMaxRepeats).toInt(), 10);
        QCOMPARE(settings.value(SettingKey::StationSound).toBool(), true);
        QVERIFY(settings.value(SettingKey::StationPorts).toStringList().isEmpty());
        QCOMPARE(settingEntry(comSetting(3)).key, "ports/COM3");
    }

    // One precedence: the option, else the environment when set, not empty
    // and of the entry's type, else the file, else the default.
    void precedence_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("env");  // "-": unset
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        const int db = int(SettingKey::RecordsDatabase),
                  tries = int(SettingKey::StationMaxAttempts);
        const QByteArray url = "[records]\ndatabase=postgresql:///file\n";
        QTest::newRow("file") << db << url << QByteArray("-") << ""
                              << "postgresql:///file";
        QTest::newRow("environment over file") << db << url << QByteArray("postgresql:///env") << ""
                                               << "postgresql:///env";
        QTest::newRow("empty environment: file") << db << url << QByteArray("") << ""
                                                 << "postgresql:///file";
        QTest::newRow("option over environment")
            << db << url << QByteArray("postgresql:///env") << "postgresql:///opt"
            << "postgresql:///opt";
        QTest::newRow("default") << tries << QByteArray() << QByteArray("-") << ""
                                 << "3";
        const int limit = int(SettingKey::PushTimeLimit);
        QTest::newRow("environment alone") << limit << QByteArray() << QByteArray("7") << ""
                                           << "7";
        QTest::newRow("not a count: default") << limit << QByteArray() << QByteArray("x") << ""
                                              << "30";
    }
    void precedence() {
        QFETCH(int, key);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, env);
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const SettingKey id = SettingKey(key);
        const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".conf");
        QVERIFY(writeFile(path, file));
        const char* name = settingEntry(id).env;
        if (env == "-")
            qunsetenv(name);
        else
            qputenv(name, env);
        const auto unset = qScopeGuard([name] { qunsetenv(name); });
        const Settings settings(path);
        QCOMPARE(settings.resolved(id, option.isEmpty() ? QVariant() : QVariant(option)).toString(),
                 expected);
    }

    // Each reader of a damaged file is told, not only the first to parse it;
    // what it understood is still read, and nothing is written.
    void damagedFileIsToldToEveryReader_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QTest::newRow("unclosed section")
            << QByteArray("[station\nmax-repeats=3\n") << "is damaged (not INI)";
        QTest::newRow("COM no path")
            << QByteArray("[ports]\nCOM4=ttyUSB0\n") << "has a COM4 that is no device path";
    }
    void damagedFileIsToldToEveryReader() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        const QString path = dir_.filePath(QString("%1.conf").arg(QTest::currentDataTag()));
        QVERIFY(writeFile(path, bytes));
        for (int reader = 0; reader < 3; ++reader) {
            Settings settings(path);
            QVERIFY2(settings.problem().contains(path + ' ' + said) &&
                         settings.problem().endsWith("left as it is: fix or remove it"),
                     qPrintable(settings.problem()));
            QVERIFY(!settings.setValue(SettingKey::StationSound, false));
            QVERIFY(!settings.remove(SettingKey::Com4));
            QString why;
            QVERIFY(!settings.save(&why));
            QCOMPARE(why, settings.problem());
        }
        QCOMPARE(readFile(path), bytes);
    }

    // The one owner: a QSettings of its own elsewhere would skip the guard
    // (and hide a damaged file from every later reader); and the programs
    // read the environment only through core/ (tests and tools set it).
    void oneOwner_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("owners");
        QTest::newRow("settings file")
            << "QSettings" << QStringList{"core/settings.", "tests/core/"};
        QTest::newRow("environment") << "qEnvironmentVariable|getenv|QProcessEnvironment"
                                     << QStringList{"core/", "tests/", "bench/", "fuzz/", "tools/"};
    }
    void oneOwner() {
        QFETCH(QString, pattern);
        QFETCH(QStringList, owners);
        const QRegularExpression use(pattern);
        QStringList found;
        QDirIterator it(QUARN_SOURCE_DIR, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        const QString root = QStringLiteral(QUARN_SOURCE_DIR "/");
        while (it.hasNext()) {
            const QString file = it.next().mid(root.size());
            const bool owner = std::any_of(owners.begin(), owners.end(),
                                           [&](const QString& o) { return file.startsWith(o); });
            if (file.startsWith("build") || file.startsWith('.') || owner) continue;
            if (use.match(QString::fromUtf8(readFile(it.filePath()))).hasMatch()) found << file;
        }
        QCOMPARE(found, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
