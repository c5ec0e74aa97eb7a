// The grid: a caption bar over a table of the data control's rows, one
// column per result column headed by its name.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QTableView>

class GridModel;

class DataGrid : public QFrame {
public:
    DataGrid(GridModel& model, QWidget* parent = nullptr);

    QTableView* view() const { return view_; }
    QString caption() const { return caption_->text(); }
    // Shows the data control's current result from the top.
    void Refresh();
    int current_row() const;
    void set_current_row(int row);

private:
    QLabel* caption_;
    QTableView* view_;
};
