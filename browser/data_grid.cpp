#include "data_grid.h"

#include <QHeaderView>
#include <QVBoxLayout>

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
    view_ = new QTableView(this);
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
}

void DataGrid::Refresh() {
    view_->reset();
    view_->scrollToTop();
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
