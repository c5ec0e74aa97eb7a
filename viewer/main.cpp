// Zelmar: the register of persons, one card at a time.
#include <QApplication>

#include "form1.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::name_application(QStringLiteral("Zelmar"), QStringLiteral("zelmar"));
    Form1 form;
    form.show();
    return QApplication::exec();
}
