// Tavrel's one window: a menu to choose the source register, a menu to
// choose the destination, and the import that moves every row of the one
// into the other. The window shows nothing but its menus; during a move it
// answers and repaints, its menus disabled.
#pragma once

#include <QMainWindow>
#include <QString>

#include "logic/move.h"
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window while rows move: the menus disabled, given back at the end.
    class Moving {
    public:
        explicit Moving(Form1& form);
        ~Moving();
        Moving(const Moving&) = delete;
        Moving& operator=(const Moving&) = delete;

    private:
        Form1& form_;
    };

    bool choose(QString& path);

    QString destination_path_;
    QString source_path_;
    ui::FileDialog common1_;
    reg::MoveOptions move_options_;
    bool moving_ = false;
    bool close_asked_ = false;  // during the move
};
