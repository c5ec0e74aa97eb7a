// Takes the README's pictures of Ostrin: the full listing of a register and
// a search in it. Run under an X server (scripts/screenshots.sh).
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QThread>
#include <cstdio>

#include "form1.h"
#include "shots.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrin"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostrin_shots DATABASE OUTDIR\n");
        return 2;
    }
    const QString db = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    script_dialogs(db);
    Form1 form;
    form.move(0, 0);
    form.show();
    settle();
    form.otb_Click();
    settle();
    if (!save(form, out + QStringLiteral("/ostrin-listing.png"))) return 1;
    form.text1()->setText(QStringLiteral("ан"));
    form.Command1_Click();
    settle();
    return save(form, out + QStringLiteral("/ostrin-search.png")) ? 0 : 1;
}
