#include "dataaccess/query.h"

#include "dataaccess/convert.h"
#include "dataaccess/error.h"
#include "dataaccess/store_error.h"
#include "sql/sql.h"
#include "store/store.h"

namespace dataaccess {

std::unique_ptr<Query> Query::run(const QString& path, const QString& statement) {
    std::unique_ptr<Query> q(new Query);
    q->path_ = path;
    // The statement's own failures keep their numbers; the register's are
    // worded as the connection words them.
    guarded(path, [&] {
        q->store_ = store::open_store(path.toStdString());
        q->result_ = q->store_->select(sql::parse(statement.toStdString()));
    });
    for (const std::string& n : q->result_->column_names()) q->names_.push_back(QString::fromStdString(n));
    return q;
}

Query::~Query() = default;

std::size_t Query::row_count() const { return result_->row_count(); }

std::size_t Query::listed() const { return result_->listed(); }

bool Query::listing() const { return result_->listing(); }

bool Query::settle(bool wait) const {
    return guarded(path_, [&] { return result_->settle(wait); });
}

std::vector<std::vector<QVariant>> Query::rows(std::size_t first, std::size_t count) const {
    return guarded(path_, [&] {
        std::vector<std::vector<QVariant>> out;
        for (const std::vector<jet::Value>& row : result_->rows(first, count)) {
            std::vector<QVariant> values;
            values.reserve(row.size());
            for (const jet::Value& v : row) values.push_back(to_variant(v));
            out.push_back(std::move(values));
        }
        return out;
    });
}

}  // namespace dataaccess
