// The grid: a caption bar over a table of the data control's rows, one
// column per result column headed by its name. Each column is as wide as the
// larger of its heading and the widest of its values read so far (the rows
// shown, never the whole table), and the user may drag its edges.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QTableView>
#include <vector>

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
    // Widens the columns to the headings and the values in view; all of them
    // anew after a Refresh, otherwise only those the user has not sized.
    void fit_columns(bool anew);

    QLabel* caption_;
    QTableView* view_;
    std::vector<bool> sized_by_user_;
    bool fitting_ = false;
};
