// A SELECT statement run over a register for a grid: the browser's listing
// and search, through the register's store. In a file the rows are found
// once, by their ids, and read from the file when asked for (sql::Result),
// so that a grid shows a register of any size without holding it; a large
// table's rows are listed on a thread while the first ones are shown. On a
// server the server runs it with the file's semantics. Failures come out as
// DataError, numbered and worded as everywhere in this layer.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstddef>
#include <memory>
#include <vector>

namespace store {
class Selection;
class Store;
}  // namespace store

namespace dataaccess {

class Query {
public:
    // Opens the register at path (a file, a link file or a URI) and runs the
    // statement. Raises DataError.
    static std::unique_ptr<Query> run(const QString& path, const QString& statement);
    ~Query();

    const QStringList& column_names() const { return names_; }
    // The number of rows found (while a listing is on its way, the count the
    // table's definition keeps), and how many are listed so far.
    std::size_t row_count() const;
    std::size_t listed() const;
    bool listing() const;
    // Takes the whole listing once it is at hand (waiting when wait is true);
    // true when it differs from what was shown before. Raises DataError.
    bool settle(bool wait) const;
    // Rows first .. first+count-1 (fewer at the end), their values as the
    // recordset gives them. Raises DataError.
    std::vector<std::vector<QVariant>> rows(std::size_t first, std::size_t count) const;

private:
    Query() = default;

    QString path_;
    std::unique_ptr<store::Store> store_;
    std::unique_ptr<store::Selection> result_;
    QStringList names_;
};

}  // namespace dataaccess
