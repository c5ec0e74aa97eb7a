#include "ui/file_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QtGlobal>

#include <utility>

namespace ui {

namespace {

FileDialog::Script& script() {
    static FileDialog::Script s;
    return s;
}

// "*.bmp;*.jpg" as Qt writes patterns: space separated, empty ones dropped.
QString qt_patterns(const QString& patterns) {
    QStringList kept;
    for (const QString& p : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (!t.isEmpty()) kept.append(t);
    }
    return kept.join(u' ');
}

}  // namespace

void FileDialog::set_script(Script s) {
    script() = std::move(s);
}

// The filter comes in pairs, "description|pattern|", the last "|" optional.
// A pair without a description is shown by its pattern; a description without
// a pattern stands for all files; a lone last item is taken as a pattern.
QStringList FileDialog::name_filters(const QString& filter) {
    QStringList parts = filter.split(u'|', Qt::KeepEmptyParts);
    if (parts.size() % 2 == 1 && parts.back().isEmpty()) parts.removeLast();

    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const bool paired = i + 1 < parts.size();
        QString description = parts[i].trimmed();
        QString patterns = qt_patterns(paired ? parts[i + 1] : parts[i]);
        if (!paired) description = patterns;
        if (description.isEmpty() && patterns.isEmpty()) continue;
        if (patterns.isEmpty()) patterns = QStringLiteral("*");
        if (description.isEmpty()) description = patterns;
        filters.append(description + QStringLiteral(" (") + patterns + u')');
    }
    return filters;
}

bool FileDialog::ShowOpen() {
    // A copy: the script may replace itself while it runs.
    if (const Script s = script()) {
        const std::optional<QString> chosen = s(*this);
        // An empty choice is no choice: FileName never becomes "" through a
        // dialog that reported success.
        if (!chosen || chosen->isEmpty()) return false;
        FileName = *chosen;
        return true;
    }

    // Without a QApplication no window can be made; that is a cancel, not a crash.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning("FileDialog::ShowOpen: no QApplication, the dialog cannot be shown");
        return false;
    }

    QFileDialog dialog(parent_, QStringLiteral("Открыть"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((Flags & kFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = name_filters(Filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);

    // The dialog opens in InitDir; the file chosen last time is selected when
    // it lies there. Without InitDir it opens where that file is.
    const QFileInfo previous(FileName);
    QString folder = InitDir;
    if (folder.isEmpty() && !FileName.isEmpty() && previous.dir().exists()) folder = previous.absolutePath();
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!FileName.isEmpty()) {
        if (!previous.isAbsolute() && !FileName.contains(u'/'))
            dialog.selectFile(FileName);
        else if (!folder.isEmpty() && QDir(folder).absolutePath() == previous.absolutePath())
            dialog.selectFile(previous.fileName());
    }

    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    FileName = QFileInfo(chosen.front()).absoluteFilePath();
    return true;
}

}  // namespace ui
