// The grid's rows: a query result whose rows are read from the file as they
// are scrolled to, a block at a time, with a bounded cache, so that a register
// of a million rows neither stalls the window nor fills memory. The count is
// exact from the start: the table's own count while the rows of a large
// register are listed in the background, then the listing's (the grid is
// shown again in the rare case they differ). Read-only: the browser never
// writes to the register.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QVariant>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace dataaccess {
class Query;
}

class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    // Shows a new result (its database stays open as long as it is shown).
    void show(std::unique_ptr<dataaccess::Query> result);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    std::size_t cached_blocks() const { return blocks_.size(); }

private:
    using Block = std::vector<std::vector<QString>>;
    const Block& block(std::size_t n) const;
    // Takes the result's whole listing when it is at hand (or waits for it);
    // shows the rows again, once the current paint is over, if it changed them.
    void settle_listing(bool wait) const;
    void show_again();

    std::unique_ptr<dataaccess::Query> result_;
    std::vector<QString> headers_;
    mutable std::unordered_map<std::size_t, Block> blocks_;
    mutable std::list<std::size_t> recent_;  // most recently used first
    QTimer listing_timer_;                    // looks for the end of a background listing
};
