// The browser with a register listed, left running: for measuring what other
// programs see of its window (bench/accessibility.sh walks its accessible
// tree over the AT-SPI bus).
#include <QApplication>
#include <cstdio>

#include "form1.h"
#include "grid_model.h"
#include "ui/application.h"
#include "ui/file_dialog.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrin_open DATABASE\n");
        return 2;
    }
    QApplication app(argc, argv);
    ui::name_application(QStringLiteral("Ostrin"), QStringLiteral("ostrin"));
    const QString db = QString::fromLocal8Bit(argv[1]);
    ui::FileDialog::set_script([db](const ui::FileDialog&) { return std::optional<QString>(db); });
    Form1 form;
    form.show();
    form.otb_Click();
    std::printf("listed %d rows\n", form.model()->rowCount());
    std::fflush(stdout);
    return app.exec();
}
