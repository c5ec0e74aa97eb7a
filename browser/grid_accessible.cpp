#include "grid_accessible.h"

#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <algorithm>

namespace {

// One cell of the grid, or a column heading (row -1).
class GridCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCell(QTableView* view, int row, int column) : view_(view), row_(row), column_(column) {}

    bool isValid() const override {
        return view_ && view_->model() && column_ < view_->model()->columnCount() && row_ < view_->model()->rowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return table(); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return {};
        QAbstractItemModel* m = view_->model();
        if (row_ < 0) return m->headerData(column_, Qt::Horizontal).toString();
        return m->data(m->index(row_, column_)).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        QRect r;
        QWidget* on = view_->viewport();
        if (row_ < 0) {
            on = view_->horizontalHeader();
            r = QRect(view_->horizontalHeader()->sectionViewportPosition(column_), 0, view_->columnWidth(column_),
                      view_->horizontalHeader()->height());
        } else {
            r = view_->visualRect(view_->model()->index(row_, column_));
        }
        return QRect(on->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) return s;
        s.selectable = row_ >= 0;
        s.focusable = row_ >= 0;
        s.selected = isSelected();
        s.focused = row_ >= 0 && view_->currentIndex().row() == row_ && view_->currentIndex().column() == column_;
        s.readOnly = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    bool isSelected() const override {
        return isValid() && row_ >= 0 && view_->selectionModel() && view_->selectionModel()->isRowSelected(row_, QModelIndex());
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        auto* t = grid();
        if (!t || row_ < 0) return {};
        return {t->cell(-1, column_)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return view_ ? QAccessible::queryAccessibleInterface(view_) : nullptr; }

private:
    GridAccessible* grid() const { return dynamic_cast<GridAccessible*>(table()); }

    QPointer<QTableView> view_;
    int row_;
    int column_;
};

QAccessibleInterface* make_grid_accessible(const QString& class_name, QObject* object) {
    if (class_name != QLatin1String("QTableView") || !object || object->objectName() != QLatin1String("DataGridTable")) return nullptr;
    return new GridAccessible(static_cast<QTableView*>(object));
}

}  // namespace

GridAccessible::GridAccessible(QTableView* view) : QAccessibleWidget(view, QAccessible::Table) {
    // The rows in view change with every scroll: the cells made for the old ones go.
    QObject::connect(view->verticalScrollBar(), &QScrollBar::valueChanged, view, [view] {
        if (auto* g = dynamic_cast<GridAccessible*>(QAccessible::queryAccessibleInterface(view))) g->forget_cells();
        QAccessibleEvent e(view, QAccessible::VisibleDataChanged);
        QAccessible::updateAccessibility(&e);
    });
}

GridAccessible::~GridAccessible() { forget_cells(); }

void GridAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(make_grid_accessible);
        return true;
    }();
    (void)installed;
}

void GridAccessible::forget_cells() const {
    const auto cells = std::move(cells_);
    cells_.clear();
    for (const auto& [where, id] : cells) QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* GridAccessible::cell(int row, int column) const {
    if (auto it = cells_.find({row, column}); it != cells_.end()) {
        if (QAccessibleInterface* c = QAccessible::accessibleInterface(it->second)) return c;
    }
    auto* c = new GridCell(view(), row, column);
    cells_[{row, column}] = QAccessible::registerAccessibleInterface(c);
    return c;
}

std::pair<int, int> GridAccessible::rows_in_view() const {
    QTableView* v = view();
    const int rows = v->model() ? v->model()->rowCount() : 0;
    if (rows == 0) return {0, 0};
    const int first = std::max(0, v->rowAt(0));
    int last = v->rowAt(v->viewport()->height() - 1);
    if (last < 0) last = rows - 1;
    return {first, std::max(0, last - first + 1)};
}

void* GridAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

int GridAccessible::childCount() const {
    const int columns = columnCount();
    return (rows_in_view().second + 1) * columns;
}

QAccessibleInterface* GridAccessible::child(int index) const {
    const int columns = columnCount();
    if (index < 0 || columns == 0 || index >= childCount()) return nullptr;
    const int row = index / columns - 1;
    return cell(row < 0 ? -1 : rows_in_view().first + row, index % columns);
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    auto* c = child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
    if (!c) return -1;
    const auto [first, count] = rows_in_view();
    const int row = c->rowIndex();
    if (row >= 0 && (row < first || row >= first + count)) return -1;
    return (row < 0 ? 0 : row - first + 1) * columnCount() + c->columnIndex();
}

QAccessibleInterface* GridAccessible::childAt(int x, int y) const {
    QTableView* v = view();
    const QPoint p = v->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex i = v->indexAt(p);
    return i.isValid() ? cell(i.row(), i.column()) : nullptr;
}

QAccessibleInterface* GridAccessible::focusChild() const {
    const QModelIndex i = view()->currentIndex();
    return i.isValid() ? cell(i.row(), i.column()) : nullptr;
}

QString GridAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) return QStringLiteral("База ЗУРТ");
    if (t == QAccessible::Description) {
        return QStringLiteral("записей: %1, столбцов: %2").arg(rowCount()).arg(columnCount());
    }
    return QAccessibleWidget::text(t);
}

QAccessibleInterface* GridAccessible::cellAt(int row, int column) const {
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return nullptr;
    return cell(row, column);
}

int GridAccessible::selectedCellCount() const { return selectedRowCount() * columnCount(); }

QList<QAccessibleInterface*> GridAccessible::selectedCells() const {
    QList<QAccessibleInterface*> out;
    for (int row : selectedRows()) {
        for (int c = 0; c < columnCount(); ++c) out.push_back(cell(row, c));
    }
    return out;
}

QString GridAccessible::columnDescription(int column) const {
    return view()->model() ? view()->model()->headerData(column, Qt::Horizontal).toString() : QString();
}

QString GridAccessible::rowDescription(int) const { return {}; }

int GridAccessible::selectedRowCount() const { return static_cast<int>(selectedRows().size()); }

int GridAccessible::columnCount() const { return view()->model() ? view()->model()->columnCount() : 0; }

int GridAccessible::rowCount() const { return view()->model() ? view()->model()->rowCount() : 0; }

QList<int> GridAccessible::selectedRows() const {
    QList<int> out;
    if (!view()->selectionModel()) return out;
    for (const QModelIndex& i : view()->selectionModel()->selectedRows()) out.push_back(i.row());
    return out;
}

bool GridAccessible::isRowSelected(int row) const {
    return view()->selectionModel() && view()->selectionModel()->isRowSelected(row, QModelIndex());
}

bool GridAccessible::selectRow(int row) {
    if (row < 0 || row >= rowCount()) return false;
    view()->selectRow(row);
    return true;
}

bool GridAccessible::unselectRow(int row) {
    if (!view()->selectionModel()) return false;
    view()->selectionModel()->select(view()->model()->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

void GridAccessible::modelChange(QAccessibleTableModelChangeEvent*) { forget_cells(); }
