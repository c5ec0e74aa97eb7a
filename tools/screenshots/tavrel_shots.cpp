// Takes the README's picture of Tavrel: its window, which shows nothing but
// its menus. Run under an X server (scripts/screenshots.sh).
#include <QApplication>
#include <QScreen>
#include <QThread>
#include <cstdio>

#include "form1.h"
#include "shots.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrel_shots OUTDIR\n");
        return 2;
    }
    Form1 form;
    form.move(0, 0);
    form.show();
    settle();
    return save(form, QString::fromLocal8Bit(argv[1]) + "/tavrel.png") ? 0 : 1;
}
