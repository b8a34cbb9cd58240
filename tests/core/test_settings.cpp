// The settings file's one key table: the README's table says the same, row
// for row; every key reads its default from a file without it; a damaged
// file is reported to every reader and never written; and no source but
// core/settings.* opens the file with a QSettings of its own.

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

// "key|default|meaning" for each row of the README's table of the settings
// file, and for each entry of the key table.
QStringList readmeRows() {
    const QString readme = QString::fromUtf8(readFile(QUARN_SOURCE_DIR "/README.md"));
    const QString section =
        readme.section(QStringLiteral("\n## The settings file\n"), 1).section("\n## ", 0, 0);
    static const QRegularExpression row(
        QStringLiteral("^\\| `\\[([^\\]]+)\\] ([^`]+)` \\| (?:`([^`]*)`)? \\| (.+) \\|$"),
        QRegularExpression::MultilineOption);
    QStringList rows;
    for (const QRegularExpressionMatch& m : row.globalMatch(section))
        rows << m.captured(1) + '/' + m.captured(2) + '|' + m.captured(3) + '|' + m.captured(4);
    return rows;
}

QStringList tableRows() {
    QStringList rows;
    for (const SettingEntry& e : settingEntries())
        rows << QString::fromLatin1(e.key) + '|' + QString::fromLatin1(e.fallback) + '|' +
                    QString::fromUtf8(e.meaning);
    return rows;
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void readmeTableIsTheKeyTable() { QCOMPARE(readmeRows(), tableRows()); }

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
    // (and hide a damaged file from every later reader).
    void noOtherQSettings() {
        QStringList found;
        QDirIterator it(QUARN_SOURCE_DIR, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        const QString root = QStringLiteral(QUARN_SOURCE_DIR "/");
        while (it.hasNext()) {
            const QString file = it.next().mid(root.size());
            if (file.startsWith("build") || file.startsWith('.') ||
                file.startsWith("core/settings.") ||
                file == QLatin1String("tests/core/test_settings.cpp"))
                continue;
            if (readFile(it.filePath()).contains("QSettings")) found << file;
        }
        QCOMPARE(found, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
