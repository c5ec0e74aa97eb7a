// The viewer on a server register another office changes under it: a photo
// set or removed over a row changed since it was read is refused with a
// message, and the card shows the row as the server now holds it.
#include <gtest/gtest.h>

#include <QLabel>

#include <fstream>

#include "form1.h"
#include "image_frame.h"
#include "jet/database.h"
#include "pg_test_server.h"
#include "server/connection.h"
#include "server/transfer.h"
#include "support.h"
#include "window_steps.h"

namespace {

using namespace testing_support;

TEST(OfficesViewer, APhotoSetOverAnotherOfficesChangeIsRefused) {
    Seams s;
    TempDir dir;
    TestServer& pg = TestServer::get();
    const std::string uri = pg.new_database("offices_viewer");
    {
        server::Connection c(uri);
        jet::Database db(make_register(dir.path(), 2, "office.mdb").string());
        server::upsize(db, c, {}, {});
    }
    std::ofstream(dir / "office.pgreg") << uri << "\n";
    picture(dir / "mine.jpg", 40, 30);

    Form1 f;
    f.show();
    s.answers.push_back(QString::fromStdString((dir / "office.pgreg").string()));
    f.opba_Click();
    f.stview_Click();
    ASSERT_EQ(f.lab(0)->text(), QStringLiteral("Имя0"));
    pg.psql("offices_viewer", "UPDATE \"ЗУРТ\" SET \"Фото\" = 'theirs.jpg', \"Имя\" = 'Их' WHERE \"номер\" = 1");

    s.answers.push_back(QString::fromStdString((dir / "mine.jpg").string()));
    f.smfo_Click();
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].contains(QStringLiteral("другой пользователь"))) << s.messages[0].toStdString();
    EXPECT_EQ(pg.psql("offices_viewer", "SELECT \"Фото\" FROM \"ЗУРТ\" WHERE \"номер\" = 1"), "theirs.jpg");
    EXPECT_EQ(f.lab(0)->text(), QStringLiteral("Их")) << "the card shows the row again";

    // Read again, the row takes the photo.
    s.answers.push_back(QString::fromStdString((dir / "mine.jpg").string()));
    f.smfo_Click();
    EXPECT_EQ(s.messages.size(), 1u);
    EXPECT_EQ(pg.psql("offices_viewer", "SELECT \"Фото\" FROM \"ЗУРТ\" WHERE \"номер\" = 1"), "mine.jpg");
    EXPECT_TRUE(f.image1()->isVisible());

    // Removing the photo another office replaced meanwhile: reported, theirs kept and shown.
    pg.psql("offices_viewer", "UPDATE \"ЗУРТ\" SET \"Фото\" = 'theirs.jpg', \"Имя\" = 'Снова их' WHERE \"номер\" = 1");
    f.defo_Click();
    ASSERT_EQ(s.messages.size(), 2u);
    EXPECT_TRUE(s.messages[1].startsWith(QStringLiteral("Ошибка 3260: "))) << s.messages[1].toStdString();
    EXPECT_EQ(pg.psql("offices_viewer", "SELECT \"Фото\" FROM \"ЗУРТ\" WHERE \"номер\" = 1"), "theirs.jpg");
    EXPECT_EQ(f.lab(0)->text(), QStringLiteral("Снова их"));
}

}  // namespace
