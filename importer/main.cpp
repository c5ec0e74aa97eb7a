// Tavrel: moves the rows of one register of persons into another.
#include <QApplication>

#include "form1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The title of message boxes. No display name is set: Qt would append it to the window's caption.
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    Form1 form;
    form.show();
    return QApplication::exec();
}
