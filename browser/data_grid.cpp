#include "data_grid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QVBoxLayout>

#include "grid_accessible.h"
#include "grid_model.h"
#include "ui/twips.h"

DataGrid::DataGrid(GridModel& model, QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::Box);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);
    caption_ = new QLabel(QStringLiteral("База ЗУРТ"), this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setStyleSheet(QStringLiteral("background-color: palette(dark); color: palette(bright-text); padding: 2px;"));
    column->addWidget(caption_);
    GridAccessible::install();
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("DataGridTable"));
    view_->setModel(&model);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    // Fixed row heights: a million rows are laid out without measuring each.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(ui::px(330));
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->horizontalHeader()->setDefaultSectionSize(ui::px(1500));
    column->addWidget(view_, 1);
    const QFont f = ui::font(QStringLiteral("MS Sans Serif"), 12);
    setFont(f);
    view_->horizontalHeader()->setFont(f);
    connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int) {
        if (fitting_) return;
        const auto at = static_cast<std::size_t>(section);
        if (at >= sized_by_user_.size()) sized_by_user_.resize(at + 1);
        sized_by_user_[at] = true;
    });
    connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { fit_columns(false); });
}

void DataGrid::fit_columns(bool anew) {
    QAbstractItemModel* m = view_->model();
    const int rows = m->rowCount();
    const int columns = m->columnCount();
    if (anew) sized_by_user_.assign(static_cast<std::size_t>(columns), false);
    // The rows in view (a screen's worth when the grid is not laid out yet).
    const int first = rows == 0 ? 0 : std::max(0, view_->rowAt(0));
    int last = view_->rowAt(view_->viewport()->height() - 1);
    if (last < 0) last = std::min(rows, first + 50) - 1;
    fitting_ = true;
    for (int c = 0; c < columns; ++c) {
        if (!anew && static_cast<std::size_t>(c) < sized_by_user_.size() && sized_by_user_[static_cast<std::size_t>(c)]) continue;
        int width = view_->horizontalHeader()->sectionSizeHint(c);
        // A cell's text takes its size hint, and the grid line one pixel more.
        for (int r = first; r <= last; ++r) width = std::max(width, view_->sizeHintForIndex(m->index(r, c)).width() + 1);
        if (anew || width > view_->columnWidth(c)) view_->setColumnWidth(c, width);
    }
    fitting_ = false;
}

void DataGrid::Refresh() {
    view_->reset();
    view_->scrollToTop();
    fit_columns(true);
    if (view_->model()->rowCount() > 0) set_current_row(0);
}

int DataGrid::current_row() const {
    const QModelIndex i = view_->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void DataGrid::set_current_row(int row) {
    const int column = std::max(0, view_->currentIndex().column());
    view_->setCurrentIndex(view_->model()->index(row, column));
}
