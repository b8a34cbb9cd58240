#include "ui/init_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "core/settings.h"

namespace quarn {

QString chooseInitFile(const QString& startFolder) {
    Settings settings;
    const bool usable = settings.usable();
    QString folder = startFolder;
    if (folder.isEmpty() && usable) folder = settings.value(SettingKey::LastInitFolder).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QString chosen =
        environmentText(SettingKey::AutoChoose)
            ? *environmentText(SettingKey::AutoChoose)
            : QFileDialog::getOpenFileName(
                  nullptr, QStringLiteral("Quarn Download - choose the Init.txt"), folder,
                  QStringLiteral("Init files (Init.txt init.txt *.txt);;All files (*)"));
    // A damaged settings file is left as it is (setValue refuses it).
    if (!chosen.isEmpty() &&
        settings.setValue(SettingKey::LastInitFolder, QFileInfo(chosen).absolutePath()))
        settings.save(nullptr);
    return chosen;
}

QString chooseInitFor(const QString& init) {
    const QFileInfo given(init);
    return chooseInitFile(init.isEmpty()  ? QString()
                          : given.isDir() ? given.absoluteFilePath()
                                          : given.absolutePath());
}

}  // namespace quarn
