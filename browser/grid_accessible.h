// What a screen reader sees of the grid: a table that tells the true numbers
// of rows and columns, whose children are the column headings and the cells of
// the rows in view, never every cell of the register. A tool that walks the
// window's accessible tree (as assistive programs do) then meets a few
// hundred objects whether the register holds a hundred rows or a million.
#pragma once

#include <QAccessibleWidget>
#include <QTableView>
#include <map>
#include <utility>

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(QTableView* view);
    ~GridAccessible() override;

    // Makes the grid's views use this interface (once for the program).
    static void install();

    void* interface_cast(QAccessible::InterfaceType t) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text t) const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    QTableView* view() const { return static_cast<QTableView*>(widget()); }
    // A cell (row -1: a column heading), made when first asked for.
    QAccessibleInterface* cell(int row, int column) const;
    // The first row in view and how many rows are in view.
    std::pair<int, int> rows_in_view() const;
    // Forgets the cells made so far (the rows in view changed).
    void forget_cells() const;

private:
    mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};
