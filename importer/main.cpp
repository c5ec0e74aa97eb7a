// Tavrel: moves the rows of one register of persons into another.
#include <QApplication>

#include "form1.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::name_application(QStringLiteral("Tavrel"), QStringLiteral("tavrel"));
    Form1 form;
    form.show();
    return QApplication::exec();
}
