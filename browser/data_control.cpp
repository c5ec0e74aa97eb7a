#include "data_control.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <memory>

#include "dataaccess/connection.h"
#include "dataaccess/query.h"
#include "grid_model.h"

DataControl::DataControl(GridModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
    auto button = [&](const QString& glyph, const char* name, void (DataControl::*step)()) {
        auto* b = new QToolButton(this);
        b->setText(glyph);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(false);
        b->setFixedWidth(15);  // the caption gets the middle, as on the original control
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);  // the control's whole height
        connect(b, &QToolButton::clicked, this, [this, step] { (this->*step)(); });
        row->addWidget(b);
    };
    button(QStringLiteral("|◀"), "first", &DataControl::MoveFirst);
    button(QStringLiteral("◀"), "previous", &DataControl::MovePrevious);
    caption_ = new QLabel(QStringLiteral("Adodc1"), this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    row->addWidget(caption_, 1);
    button(QStringLiteral("▶"), "next", &DataControl::MoveNext);
    button(QStringLiteral("▶|"), "last", &DataControl::MoveLast);
    setAutoFillBackground(true);
}

void DataControl::Refresh() {
    model_.show(dataaccess::Query::run(dataaccess::data_source(ConnectionString), RecordSource));
}

void DataControl::MoveFirst() {
    if (set_current_row && model_.rowCount() > 0) set_current_row(0);
}

void DataControl::MoveLast() {
    if (set_current_row && model_.rowCount() > 0) set_current_row(model_.rowCount() - 1);
}

void DataControl::MovePrevious() {
    if (!set_current_row || !current_row || model_.rowCount() == 0) return;
    set_current_row(std::max(0, current_row() - 1));
}

void DataControl::MoveNext() {
    if (!set_current_row || !current_row || model_.rowCount() == 0) return;
    set_current_row(std::min(model_.rowCount() - 1, current_row() + 1));
}
