#include "grid_model.h"

#include "dataaccess/query.h"
#include "dataaccess/value_text.h"

namespace {

constexpr std::size_t kBlockRows = 128;
constexpr std::size_t kMaxBlocks = 64;  // 8192 rows of text at most

}  // namespace

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {
    listing_timer_.setInterval(10);
    connect(&listing_timer_, &QTimer::timeout, this, [this] { settle_listing(false); });
}

GridModel::~GridModel() = default;

void GridModel::show(std::unique_ptr<dataaccess::Query> result) {
    beginResetModel();
    blocks_.clear();
    recent_.clear();
    headers_.clear();
    result_ = std::move(result);
    if (result_) {
        for (const QString& n : result_->column_names()) headers_.push_back(n);
    }
    endResetModel();
    if (result_ && result_->listing()) listing_timer_.start();
    else listing_timer_.stop();
}

void GridModel::settle_listing(bool wait) const {
    if (!result_ || !result_->listing()) return;
    bool changed = false;
    try {
        changed = result_->settle(wait);
    } catch (const std::exception&) {
        changed = true;  // the file broke meanwhile: the rows are read again, as far as they can be
    }
    if (!result_->listing()) const_cast<QTimer&>(listing_timer_).stop();
    if (changed) QTimer::singleShot(0, const_cast<GridModel*>(this), &GridModel::show_again);
}

void GridModel::show_again() {
    beginResetModel();
    blocks_.clear();
    recent_.clear();
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !result_) return 0;
    return static_cast<int>(result_->row_count());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(headers_.size());
}

const GridModel::Block& GridModel::block(std::size_t n) const {
    if (auto it = blocks_.find(n); it != blocks_.end()) {
        recent_.remove(n);
        recent_.push_front(n);
        return it->second;
    }
    if (blocks_.size() >= kMaxBlocks) {
        blocks_.erase(recent_.back());
        recent_.pop_back();
    }
    Block b;
    const std::size_t first = n * kBlockRows;
    const std::size_t count = std::min(kBlockRows, result_->row_count() - first);
    if (result_->listing() && first + count > result_->listed()) settle_listing(true);
    try {
        for (const std::vector<QVariant>& row : result_->rows(first, count)) {
            std::vector<QString> texts;
            texts.reserve(row.size());
            for (const QVariant& v : row) texts.push_back(dataaccess::value_text(v));
            b.push_back(std::move(texts));
        }
    } catch (const std::exception&) {
        // A file that changed or broke under the grid shows empty cells rather than failing the paint.
    }
    b.resize(count, std::vector<QString>(headers_.size()));
    recent_.push_front(n);
    return blocks_.emplace(n, std::move(b)).first->second;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!result_ || !index.isValid() || role != Qt::DisplayRole) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto col = static_cast<std::size_t>(index.column());
    if (row >= result_->row_count() || col >= headers_.size()) return {};
    const Block& b = block(row / kBlockRows);
    const auto& cells = b[row % kBlockRows];
    return col < cells.size() ? QVariant(cells[col]) : QVariant();
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && static_cast<std::size_t>(section) < headers_.size()) return headers_[static_cast<std::size_t>(section)];
        return {};
    }
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
