// Tavrel's one window: a menu to choose the source register, a menu to
// choose the destination, and the import that moves every row of the one
// into the other. The window shows nothing but its menus.
#pragma once

#include <QMainWindow>
#include <QString>

#include "move.h"
#include "ui/file_dialog.h"

class Form1 : public QMainWindow {
public:
    explicit Form1(QWidget* parent = nullptr);

    void Form_Load();
    void fro_Click();
    void toto_Click();
    void imp_Click();

    // For tests.
    const QString& source_path() const { return source_path_; }
    const QString& destination_path() const { return destination_path_; }
    ui::FileDialog& common1() { return common1_; }
    // How the import moves the rows (its group size), for tests.
    reg::MoveOptions& move_options() { return move_options_; }

private:
    bool choose(QString& path);

    QString destination_path_;
    QString source_path_;
    ui::FileDialog common1_;
    reg::MoveOptions move_options_;
};
