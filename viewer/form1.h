// Zelmar's one window: the card of the current person (first name,
// patronymic, surname, number) with the photo beside it, the buttons that step
// through the register, and the menus that choose the database, start viewing
// and set or remove the photo.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>

#include "dataaccess/connection.h"
#include "dataaccess/recordset.h"
#include "ui/file_dialog.h"
#include "word_processor.h"

class QAction;
class QLabel;
class QPushButton;
class ImageFrame;

class Form1 : public QMainWindow {
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Handlers, named after their menus and buttons.
    void Form_Load();
    void opba_Click();
    void stview_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void smfo_Click();
    void defo_Click();
    void Form_QueryUnload();

    // For tests: what the window shows and holds.
    QLabel* lab(int index) const { return lab_[static_cast<std::size_t>(index)]; }
    ImageFrame* image1() const { return image1_; }
    QSize picture1_size() const { return measured_; }
    const QString& database_path() const { return database_path_; }
    dataaccess::Connection* connection() const { return connection_.get(); }
    dataaccess::Recordset* recordset() const { return recordset_.get(); }
    ui::FileDialog& comm1() { return comm1_; }
    QAction* menu_action(const QString& name) const;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build_controls();
    void build_menus();
    void card_fill_skipping();
    void card_fill();
    void showima();
    void step(bool back);
    void report(const std::exception& e);
    QString database_folder() const;

    // Window state.
    QString database_path_;
    QString chosen_photo_;
    std::unique_ptr<dataaccess::Connection> connection_;
    std::unique_ptr<dataaccess::Recordset> recordset_;

    std::int16_t column_counter_ = 0;
    std::unique_ptr<word::Application> word_app_;

    ui::FileDialog comm1_;
    std::array<QLabel*, 4> lab_{};
    ImageFrame* image1_ = nullptr;
    QSize measured_;  // picture1: the natural size of the last picture measured, in pixels
};
