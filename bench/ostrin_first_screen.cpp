// Time from "открыть базу" to the grid's first screen painted, and the peak
// memory of the whole process, for the browser on a given register.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>
#include <sys/resource.h>

#include "data_grid.h"
#include "form1.h"
#include "grid_model.h"
#include "ui/file_dialog.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrin_first_screen DATABASE\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QString db = QString::fromLocal8Bit(argv[1]);
    ui::FileDialog::set_script([db](const ui::FileDialog&) { return std::optional<QString>(db); });
    Form1 form;
    form.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    form.otb_Click();
    // The first screen: the grid painted with the rows in view.
    const QPixmap shot = form.grid()->grab();
    const qint64 ms = t.elapsed();
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("rows %d, first screen %lld ms, peak memory %ld MB\n", form.model()->rowCount(), static_cast<long long>(ms),
                ru.ru_maxrss / 1024);
    return shot.isNull() ? 1 : 0;
}
