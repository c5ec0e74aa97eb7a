// Ostrin's one window: the register in a grid, with a search by a part of the
// first name and of the black-list mark.
#pragma once

#include <QMainWindow>

#include "ui/file_dialog.h"

class DataControl;
class DataGrid;
class GridModel;
class QLineEdit;

class Form1 : public QMainWindow {
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    void otb_Click();
    void Command1_Click();

    // The statements the window sends.
    static const QString kFullListing;
    static QString search_statement(const QString& name_part, const QString& mark_part);

    // For tests.
    DataGrid* grid() const { return grid_; }
    DataControl* adodc1() const { return adodc1_; }
    GridModel* model() const { return model_; }
    QLineEdit* text1() const { return text1_; }
    QLineEdit* text2() const { return text2_; }
    const QString& database_path() const { return database_path_; }

private:
    QString database_path_;
    ui::FileDialog comm5_;
    GridModel* model_;
    DataGrid* grid_;
    DataControl* adodc1_;
    QLineEdit* text1_;
    QLineEdit* text2_;
};
