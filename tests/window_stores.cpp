#include "window_stores.h"

#include <QString>

#include <fstream>

#include "dataaccess/connection.h"
#include "dataaccess/field.h"
#include "dataaccess/recordset.h"
#include "jet/database.h"
#include "logic/register.h"
#include "pg_test_server.h"
#include "server/connection.h"
#include "server/transfer.h"

namespace testing_support {

fs::path on(Where where, const fs::path& db) {
    if (where == Where::File) return db;
    static int made = 0;
    const std::string uri = TestServer::get().new_database("window_" + std::to_string(++made));
    {
        server::Connection c(uri);
        jet::Database file(db.string());
        server::upsize(file, c, {}, {});
    }
    fs::path link = db;
    link.replace_extension(".pgreg");
    std::ofstream(link) << "# " << db.filename().string() << " on the test server\n" << uri << "\n";
    return link;
}

std::vector<std::vector<QVariant>> rows_through_access(const fs::path& reg) {
    dataaccess::Connection cn;
    cn.Open(QString::fromStdString(reg::viewer_connection_string(reg.string())));
    dataaccess::Recordset rs;
    rs.setActiveConnection(&cn);
    rs.setSource(QString::fromStdString(std::string(reg::kSelectAll)));
    rs.setCursorType(1);
    rs.setLockType(3);
    rs.setCursorLocation(2);
    rs.Open(-1, -1, -1);
    std::vector<std::vector<QVariant>> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        std::vector<QVariant> row;
        for (std::int16_t i = 0; i < rs.fields().Count(); ++i) row.push_back(rs.fields().Item(i).Value());
        rows.push_back(std::move(row));
    }
    rs.Close();
    cn.Close();
    return rows;
}

}  // namespace testing_support
