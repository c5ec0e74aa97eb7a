#include "form1.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include "data_control.h"
#include "data_grid.h"
#include "dataaccess/error.h"
#include "grid_model.h"
#include "dataaccess/qt_text.h"
#include "logic/register.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/twips.h"

const QString Form1::kFullListing = QStringLiteral(
    "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист], ЗУРТ.[Дата "
    "рождения],ЗУРТ.[Категория учета],ЗУРТ.[Адрес места жительства] FROM ЗУРТ");

// The typed texts go in as they stand, wildcards included; an apostrophe is
// doubled so that it is searched for instead of ending the pattern.
QString Form1::search_statement(const QString& name_part, const QString& mark_part) {
    auto quoted = [](QString t) { return t.replace(QLatin1Char('\''), QStringLiteral("''")); };
    return QStringLiteral("SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like ") +
           QStringLiteral("'%") + quoted(name_part) + QStringLiteral("%'") + QStringLiteral("and ЗУРТ.[Блейк лист] Like ") +
           QStringLiteral("'%") + quoted(mark_part) + QStringLiteral("%'");
}

namespace {

QLabel* label(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* x = new QLabel(caption, parent);
    ui::place(x, l, t, w, h);
    x->setFont(ui::font(QStringLiteral("MS Sans Serif"), 18));
    return x;
}

QLineEdit* text_box(QWidget* parent, const char* name, int l, int t, int w, int h) {
    auto* x = new QLineEdit(parent);
    x->setObjectName(QString::fromLatin1(name));
    ui::place(x, l, t, w, h);
    x->setFont(ui::font(QStringLiteral("MS Sans Serif"), 18));
    return x;
}

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), comm5_(this) {
    setWindowTitle(QStringLiteral("База ЗУРТ"));
    auto* client = new QWidget(this);
    client->setFixedSize(ui::px(13410), ui::px(6705));
    setCentralWidget(client);

    model_ = new GridModel(this);
    grid_ = new DataGrid(*model_, client);
    grid_->setObjectName(QStringLiteral("DataGrid1"));
    ui::place(grid_, 60, 0, 13260, 5655);

    label(client, QStringLiteral("ИМЯ"), 120, 6000, 1095, 495);
    text1_ = text_box(client, "Text1", 1320, 6000, 2295, 495);
    label(client, QStringLiteral("black-лист"), 3840, 6000, 1815, 495);
    text2_ = text_box(client, "Text2", 5760, 6000, 1335, 615);
    auto* command1 = new QPushButton(QStringLiteral("ПОИСК"), client);
    command1->setObjectName(QStringLiteral("Command1"));
    ui::place(command1, 7200, 6000, 1455, 615);
    connect(command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    adodc1_ = new DataControl(*model_, client);
    adodc1_->setObjectName(QStringLiteral("Adodc1"));
    ui::place(adodc1_, 8880, 6000, 1575, 855);
    adodc1_->setFont(ui::font(QStringLiteral("MS Sans Serif"), 8.25));
    adodc1_->current_row = [this] { return grid_->current_row(); };
    adodc1_->set_current_row = [this](int row) { grid_->set_current_row(row); };

    setTabOrder(grid_->view(), text1_);
    setTabOrder(text1_, text2_);
    setTabOrder(text2_, command1);

    QAction* otb = menuBar()->addAction(QStringLiteral("открыть базу"));
    otb->setObjectName(QStringLiteral("otb"));
    connect(otb, &QAction::triggered, this, [this] { otb_Click(); });
}

Form1::~Form1() = default;

// Chooses a database and lists every record; a failure hides the grid.
void Form1::otb_Click() {
    comm5_.InitDir = ui::program_folder();
    comm5_.Filter = dataaccess::qt_text(reg::kRegisterFilter);
    comm5_.Flags = 4100;
    comm5_.ShowOpen();
    database_path_ = comm5_.FileName;
    try {
        adodc1_->ConnectionString = dataaccess::qt_text(reg::browser_connection_string(dataaccess::utf8(database_path_)));
        adodc1_->CommandType = 8;
        adodc1_->RecordSource = kFullListing;
        adodc1_->Refresh();
        grid_->Refresh();
        grid_->setVisible(true);
    } catch (const std::exception&) {
        grid_->setVisible(false);
    }
}

// Lists the records whose first name and black-list mark contain the typed texts.
void Form1::Command1_Click() {
    const QString name_part = text1_->text();
    const QString mark_part = text2_->text();
    if (adodc1_->ConnectionString.isEmpty()) return;  // no database opened yet
    adodc1_->RecordSource = search_statement(name_part, mark_part);
    try {
        adodc1_->Refresh();
        grid_->Refresh();
    } catch (const std::exception& e) {
        ui::report_failure(this, e);
    }
}
