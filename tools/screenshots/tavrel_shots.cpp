// Takes the README's pictures of Tavrel: its window, which shows nothing but
// its menus, and, given a folder, the open dialog the windows show there with
// the entry for registers on a server chosen. Run under an X server
// (scripts/screenshots.sh).
#include <QApplication>
#include <QFileDialog>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "dataaccess/qt_text.h"
#include "form1.h"
#include "logic/register.h"
#include "shots.h"
#include "ui/application.h"

namespace {

// The dialog as the windows set it up, opened in folder, saved to path and cancelled.
bool save_dialog(QWidget& parent, const QString& folder, const QString& path) {
    ui::FileDialog dialog(&parent);
    dialog.InitDir = folder;
    dialog.Filter = dataaccess::qt_text(reg::kRegisterFilter);
    dialog.Flags = 4100;
    bool saved = false;
    QTimer::singleShot(300, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!shown) return;
        shown->selectNameFilter(ui::FileDialog::name_filters(dialog.Filter).back());
        settle();
        saved = save(*shown, path);
        shown->reject();
    });
    dialog.ShowOpen();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    ui::use_russian();  // the dialog's own texts, as the programs have them
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: tavrel_shots OUTDIR [FOLDER]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    Form1 form;
    form.move(0, 0);
    form.show();
    settle();
    if (!save(form, out + "/tavrel.png")) return 1;
    if (argc == 3 && !save_dialog(form, QString::fromLocal8Bit(argv[2]), out + "/dialog-server.png")) return 1;
    return 0;
}
