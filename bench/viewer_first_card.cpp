// Time from "начать просмотр" (after the database was chosen through a
// scripted dialog) to the first card filled, and to the window painted with
// it, and the peak memory of the whole process, for the viewer on a given
// register.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <cstdio>
#include <sys/resource.h>

#include "form1.h"
#include "ui/file_dialog.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: viewer_first_card DATABASE\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QString db = QString::fromLocal8Bit(argv[1]);
    ui::FileDialog::set_script([db](const ui::FileDialog&) { return std::optional<QString>(db); });
    Form1 form;
    form.show();
    QApplication::processEvents();
    form.opba_Click();
    QElapsedTimer t;
    t.start();
    form.stview_Click();
    const qint64 filled_ns = t.nsecsElapsed();
    const QPixmap shot = form.grab();
    const qint64 painted_ns = t.nsecsElapsed();
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    const bool ok = form.recordset()->State() == 1 && !form.lab(3)->text().isEmpty() && !shot.isNull();
    std::printf("rows %ld, first card filled %.1f ms, painted %.1f ms, peak memory %ld MB%s\n",
                ok ? form.recordset()->RecordCount() : 0L, static_cast<double>(filled_ns) / 1e6, static_cast<double>(painted_ns) / 1e6, ru.ru_maxrss / 1024,
                ok ? "" : " (the register did not open)");
    return ok ? 0 : 1;
}
