// The data control under the grid: it keeps a connection string, a command
// type and a record source; Refresh connects and runs the record source,
// replacing the grid's rows. Its four buttons move the grid's current row to
// the first, previous, next and last record, staying put at either end.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <functional>

class GridModel;

class DataControl : public QWidget {
public:
    DataControl(GridModel& model, QWidget* parent = nullptr);

    QString ConnectionString;
    int CommandType = 8;
    QString RecordSource;

    // Raises dataaccess::DataError when the file cannot be opened or the
    // statement cannot be run; the grid then keeps the rows it had.
    void Refresh();

    QString caption() const { return caption_->text(); }

    // The grid's current row and how to move it: set by the window that binds them.
    std::function<int()> current_row;
    std::function<void(int)> set_current_row;

    void MoveFirst();
    void MovePrevious();
    void MoveNext();
    void MoveLast();

private:
    GridModel& model_;
    QLabel* caption_;
};
