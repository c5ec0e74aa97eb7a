// Takes the README's pictures of Zelmar: opens a register through the
// window's own menus (the file dialog answered by this program), then saves
// the screen around the window at the first record and at the first record
// whose photo is larger than the box; then exports that record and copies the
// document handed to the word processor to OUTDIR/zelmar-export.odt. Run under
// an X server (scripts/screenshots.sh).
#include <QApplication>
#include <QScreen>
#include <QThread>
#include <cstdio>

#include "form1.h"
#include "shots.h"
#include "image_frame.h"
#include "word_processor.h"

#include <QFile>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmar"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: zelmar_shots DATABASE OUTDIR\n");
        return 2;
    }
    const QString db = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    script_dialogs(db);
    Form1 form;
    form.move(0, 0);
    form.show();
    settle();
    form.opba_Click();
    form.stview_Click();
    settle();
    if (!save(form, out + QStringLiteral("/zelmar-first.png"))) return 1;
    for (int i = 0; i < 200; ++i) {
        form.Command2_Click();
        settle();
        if (form.image1()->isVisible() && form.image1()->stretch() && form.image1()->width() >= 200 && form.image1()->height() > 200) {
            if (!save(form, out + QStringLiteral("/zelmar-large-photo.png"))) return 1;
            QString handed;
            word::Application::set_finder([] { return QStringLiteral("soffice"); });
            word::Application::set_launcher([&handed](const QString&, const QString& file) { handed = file; });
            form.Command3_Click();
            const QString copy = out + QStringLiteral("/zelmar-export.odt");
            QFile::remove(copy);
            return !handed.isEmpty() && QFile::copy(handed, copy) ? 0 : 1;
        }
    }
    std::fprintf(stderr, "no record with a large photo\n");
    return 1;
}
