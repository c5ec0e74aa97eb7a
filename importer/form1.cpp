#include "form1.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMenuBar>

#include <exception>
#include <thread>

#include "dataaccess/error.h"
#include "dataaccess/move.h"
#include "dataaccess/qt_text.h"
#include "logic/register.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/twips.h"

Form1::Form1(QWidget* parent) : QMainWindow(parent), common1_(this) {
    setWindowTitle(QStringLiteral("Добавление данных в базу"));
    auto* client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::white);
    client->setPalette(pal);
    client->setFixedSize(ui::px(9930), ui::px(6345));
    setCentralWidget(client);
    auto add = [this](const char* name, const QString& caption, void (Form1::*handler)()) {
        QAction* a = menuBar()->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    add("fro", QStringLiteral("открыть базу источник"), &Form1::fro_Click);
    add("toto", QStringLiteral("открыть базу приемник"), &Form1::toto_Click);
    add("imp", QStringLiteral("импорт"), &Form1::imp_Click);
    Form_Load();
}

void Form1::Form_Load() {
    destination_path_.clear();
    source_path_.clear();
}

// A cancelled choice keeps the path that choice had: the dialog's last file
// may be the other database.
bool Form1::choose(QString& path) {
    common1_.InitDir = ui::program_folder();
    common1_.Filter = dataaccess::qt_text(reg::kRegisterFilter);
    common1_.Flags = 4100;
    if (!common1_.ShowOpen()) return false;
    path = common1_.FileName;
    return true;
}

void Form1::fro_Click() { choose(source_path_); }
void Form1::toto_Click() { choose(destination_path_); }

// Moves every row of the source register into the destination. Shows
// nothing when it succeeds; a failure is reported and the program goes on.
void Form1::imp_Click() {
    if (moving_) return;
    if (destination_path_.isEmpty() || source_path_.isEmpty() || !reg::is_ordinary_file(dataaccess::utf8(destination_path_)) ||
        !reg::is_ordinary_file(dataaccess::utf8(source_path_))) {
        return;
    }
    if (reg::same_file(dataaccess::utf8(source_path_), dataaccess::utf8(destination_path_))) {
        ui::show_message(this, QStringLiteral("Источник и приемник — один и тот же файл. Выберите в качестве приемника другую базу."));
        return;
    }
    // The rows move on a thread of their own while this handler serves the
    // window's events: the window answers and repaints throughout, its menu
    // disabled, and shows nothing of the move itself.
    const QString source = source_path_, destination = destination_path_;
    const reg::MoveOptions options = move_options_;
    std::exception_ptr failure;
    QEventLoop loop;
    {
        const Moving moving(*this);
        std::jthread mover([&] {
            try {
                dataaccess::move_register(source, destination, options);
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        // Left early only when the application quits: the move is then
        // waited for here, so that it ends whole.
        loop.exec();
    }
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            ui::report_failure(this, e);
        }
    }
    if (close_asked_) close();
}

Form1::Moving::Moving(Form1& form) : form_(form) {
    form_.moving_ = true;
    for (QAction* a : form_.menuBar()->actions()) a->setEnabled(false);
}

Form1::Moving::~Moving() {
    for (QAction* a : form_.menuBar()->actions()) a->setEnabled(true);
    form_.moving_ = false;
}

// Closing the window during a move closes it when the move has ended.
void Form1::closeEvent(QCloseEvent* event) {
    if (moving_) {
        close_asked_ = true;
        event->ignore();
        return;
    }
    close_asked_ = false;
    QMainWindow::closeEvent(event);
}
