#include "application.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace ui {

bool use_russian() {
    static QTranslator* translator = nullptr;  // lives as long as the program
    if (translator) return true;
    auto t = std::make_unique<QTranslator>();
    if (!t->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    translator = t.release();
    QCoreApplication::installTranslator(translator);
    return true;
}

void name_application(const QString& name, const QString& desktop_entry) {
    // The programs speak Russian, the toolkit's dialogs and buttons too.
    use_russian();
    // No display name is set: Qt would append it to every window's caption.
    QApplication::setApplicationName(name);
    QGuiApplication::setDesktopFileName(desktop_entry);
    // Found when the icons are installed and Qt can read SVG; the desktop's own
    // menu entry carries the icon either way.
    QApplication::setWindowIcon(QIcon::fromTheme(desktop_entry));
}

QString program_folder(const QString& app_dir, const QString& installed_dir, const QString& home) {
    const QString here = QFileInfo(app_dir).canonicalFilePath();
    if (!installed_dir.isEmpty() && !here.isEmpty() && here == QFileInfo(installed_dir).canonicalFilePath()) return home;
    return app_dir;
}

QString program_folder() {
    return program_folder(QCoreApplication::applicationDirPath(), QStringLiteral(REGISTER_INSTALL_BINDIR), QDir::homePath());
}

}  // namespace ui
