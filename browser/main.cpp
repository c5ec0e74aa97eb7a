// Ostrin: the register of persons in a grid, with a search.
#include <QApplication>

#include "form1.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::name_application(QStringLiteral("Ostrin"), QStringLiteral("ostrin"));
    Form1 form;
    form.show();
    return QApplication::exec();
}
