// The open-file dialog object each window keeps for all its file choices. Its
// properties live as long as the window; a cancelled ShowOpen leaves FileName
// as it was. The filter is "description|pattern|description|pattern|".
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace ui {

class FileDialog {
public:
    static constexpr int kFileMustExist = 0x1000;
    static constexpr int kHideReadOnly = 0x4;

    explicit FileDialog(QWidget* parent = nullptr) : parent_(parent) {}

    QString InitDir;
    QString Filter;
    int Flags = 0;
    QString FileName;

    // Shows the modal dialog; on a choice sets FileName to the full path and
    // returns true. A cancel returns false and leaves FileName as it was.
    bool ShowOpen();

    // The filter as Qt's name filters: "description (pattern)" each.
    static QStringList name_filters(const QString& filter);

    // Tests replace the dialog: the script gets the dialog's settings and
    // returns the chosen path, or nothing for a cancel.
    using Script = std::function<std::optional<QString>(const FileDialog&)>;
    static void set_script(Script s);

private:
    QWidget* parent_;
};

}  // namespace ui
