#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QtGlobal>

#include <new>
#include <utility>

#include "dataaccess/error.h"

namespace ui {

namespace {

MessageSink& sink() {
    static MessageSink s;
    return s;
}

QString program_title() {
    const QString display = QGuiApplication::applicationDisplayName();
    return display.isEmpty() ? QCoreApplication::applicationName() : display;
}

}  // namespace

void set_message_sink(MessageSink s) {
    sink() = std::move(s);
}

void show_message(QWidget* parent, const QString& text) {
    const QString title = program_title();
    // A copy: the sink may replace itself while it runs.
    if (const MessageSink s = sink()) {
        s(text, title);
        return;
    }

    // Without a QApplication there is no window to show; the message still
    // reaches the log rather than being lost or crashing the program.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(text));
        return;
    }

    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title);
    // Messages carry values from the register; they are shown as written,
    // never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

void report_error(QWidget* parent, int number, const QString& description) {
    show_message(parent, QStringLiteral("Ошибка ") + QString::number(number) + QStringLiteral(": ") + description);
}

void report_failure(QWidget* parent, const std::exception& e) {
    if (const auto* d = dynamic_cast<const dataaccess::DataError*>(&e)) {
        report_error(parent, d->number(), d->description());
    } else if (dynamic_cast<const std::bad_alloc*>(&e)) {
        report_error(parent, 7, QStringLiteral("Недостаточно памяти для этой операции."));
    } else {
        report_error(parent, 0, QStringLiteral("Непредвиденная ошибка программы. Данные в базе не изменены этой операцией."));
    }
}

}  // namespace ui
