#include "form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QCoreApplication>
#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include "dataaccess/error.h"
#include "dataaccess/value_text.h"
#include "image_frame.h"
#include "dataaccess/qt_text.h"
#include "logic/register.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace {

constexpr int kClientWidth = 10290;
constexpr int kClientHeight = 6855;
constexpr float kBox = 3000.0f;  // the photo box side, in twips
constexpr int kFrameLeft = 4920;
constexpr int kFrameTop = 240;
constexpr int kPictureLimit = 4000;  // pixels: larger pictures are decoded scaled down

const QString kEmptyRegister = QStringLiteral("Ошибка. Вероятно база данных пустая.");
const QString kPhotoFolder = QStringLiteral("Фотографии должны находится в той же папке, что и база");
// The message of the original program, and what it means on this system.
const QString kNoOffice = QStringLiteral("Для отображения результатов необходимо, чтобы был установлен Microsoft Office\n"
                                         "Здесь для этого нужен LibreOffice Writer: установите пакет libreoffice-writer.");
const QString kPhotoFilter = QStringLiteral("*.bmp;*.jpg;*.gif| *.bmp;*.jpg;*.gif|");

// The photo file a stored name leads to in the database folder ("" when none).
QString photo_file(const QString& folder, const QString& stored_name) {
    using dataaccess::utf8;
    return dataaccess::qt_text(reg::find_photo(utf8(folder), utf8(stored_name)));
}

// A register on a server named by its address rather than by a link file:
// such a name has no folder of its own.
bool names_address(const QString& path) {
    return path.startsWith(QLatin1String("postgresql://")) || path.startsWith(QLatin1String("postgres://"));
}

// Pictures are known by the end of their name alone.
bool is_picture_name(const QString& path) {
    const QString last3 = path.right(3).toUpper();
    return last3 == QLatin1String("BMP") || last3 == QLatin1String("JPG") || last3 == QLatin1String("PNG") ||
           path.right(4).toUpper() == QLatin1String("JPEG");
}

// Whether a value compares equal to False or to 0: false, any number equal
// to zero (a date only at the start of the date scale), or text that reads as
// such a number. Other text never does.
bool counts_as_zero(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool: return !v.toBool();
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float: return v.toDouble() == 0.0;
        case QMetaType::QDateTime: return v.toDateTime() == QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        case QMetaType::QString: {
            QString t = v.toString().trimmed();
            t.replace(QLatin1Char(','), QLatin1Char('.'));
            bool ok = false;
            const double d = t.toDouble(&ok);
            return ok && d == 0.0;
        }
        default: return false;
    }
}

// Card rows: value label index and register column.
constexpr std::array<std::pair<int, int>, 4> kCard{{{0, 2}, {1, 3}, {2, 1}, {3, 0}}};

QLabel* make_label(QWidget* parent, const QString& caption, int l, int t, int w, int h, bool white) {
    auto* label = new QLabel(caption, parent);
    ui::place(label, l, t, w, h);
    label->setFont(ui::font(QStringLiteral("Times New Roman"), 15.75));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (white) label->setStyleSheet(QStringLiteral("background-color: white;"));
    return label;
}

QPushButton* make_button(QWidget* parent, const QString& caption, int l, int t, int w, int h, double points) {
    auto* b = new QPushButton(caption, parent);
    ui::place(b, l, t, w, h);
    b->setFont(ui::font(QStringLiteral("MS Sans Serif"), points));
    b->setStyleSheet(QStringLiteral("background-color: white;"));
    return b;
}

// Decoded pixels a picture may take when it is read whole (see read_picture).
constexpr qint64 kDecodeBudget = qint64{256} << 20;

// Reads a picture, scaled down when it is larger than the limit; the natural
// size comes from the file's header. Nothing when the file cannot be decoded.
//
// The reader refuses a picture whose pixels pass its allocation limit at four
// bytes each, also when a scaled size is asked for and the decoder cannot
// decode scaled (PNG, unlike JPEG). Such a picture is read whole in the format
// its header names when that fits the budget (a 20000 x 20000 one-bit scan
// takes 50 MB), then reduced by picking pixels, which keeps that format and
// makes no 32-bit copy at full size; anything larger is not shown.
bool read_picture(const QString& path, QSize& natural, QImage& image, QSize fit = {}) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    natural = reader.size();
    if (!natural.isValid() || natural.isEmpty()) return false;
    QSize target = fit.isValid() ? fit : natural;
    if (target.width() > kPictureLimit || target.height() > kPictureLimit) {
        target.scale(kPictureLimit, kPictureLimit, Qt::KeepAspectRatio);
    }
    if (target != natural) reader.setScaledSize(target);
    image = reader.read();
    if (!image.isNull()) return true;

    const qint64 pixels = qint64{natural.width()} * natural.height();
    const int limit_mb = QImageReader::allocationLimit();
    if (limit_mb == 0 || pixels * 4 <= (qint64{limit_mb} << 20)) return false;  // refused for another reason
    QImageReader whole_reader(path);
    whole_reader.setAutoTransform(false);
    const QImage::Format format = whole_reader.imageFormat();
    if (format == QImage::Format_Invalid || whole_reader.size() != natural) return false;
    if (pixels * QImage::toPixelFormat(format).bitsPerPixel() / 8 > kDecodeBudget) return false;
    QImageReader::setAllocationLimit(static_cast<int>((pixels * 4) >> 20) + 1);
    const QImage whole = whole_reader.read();
    QImageReader::setAllocationLimit(limit_mb);
    if (whole.isNull()) return false;
    image = whole.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return !image.isNull();
}

struct Unhandled {
    QWidget* window;
    void operator()(const std::exception& e) const { ui::report_failure(window, e); }
};

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), comm1_(this) {
    setWindowTitle(QStringLiteral("просмотр данных"));
    build_controls();
    build_menus();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::build_controls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::white);
    client->setPalette(pal);
    client->setFixedSize(ui::px(kClientWidth), ui::px(kClientHeight));
    setCentralWidget(client);

    make_label(client, QStringLiteral("Имя"), 120, 600, 1095, 495, true);
    lab_[0] = make_label(client, {}, 1320, 600, 3375, 495, true);
    lab_[1] = make_label(client, {}, 1680, 1440, 3015, 495, false);
    lab_[2] = make_label(client, {}, 1560, 2280, 3135, 495, true);
    make_label(client, QStringLiteral("Отчество"), 120, 1440, 1455, 495, false);
    make_label(client, QStringLiteral("Фамилия"), 120, 2280, 1335, 495, false);
    make_label(client, QStringLiteral("Номер"), 120, 3120, 1575, 495, false);
    lab_[3] = make_label(client, {}, 2160, 3120, 2295, 495, true);
    for (int i = 0; i < 4; ++i) lab_[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("Lab%1").arg(i));

    auto* c1 = make_button(client, QStringLiteral("<<<"), 840, 6000, 2055, 615, 18);
    auto* c2 = make_button(client, QStringLiteral(">>>"), 3240, 6000, 2175, 615, 18);
    auto* c3 = make_button(client, QStringLiteral("открыть в MS WORD"), 5760, 6000, 3255, 615, 12);
    c1->setObjectName(QStringLiteral("Command1"));
    c2->setObjectName(QStringLiteral("Command2"));
    c3->setObjectName(QStringLiteral("Command3"));
    setTabOrder(c1, c2);
    setTabOrder(c2, c3);
    connect(c1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(c2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(c3, &QPushButton::clicked, this, [this] { Command3_Click(); });

    // picture1 measures pictures and is never shown; the frame shows them.
    image1_ = new ImageFrame(client);
    image1_->setObjectName(QStringLiteral("Image1"));
    ui::place(image1_, kFrameLeft, kFrameTop, 5175, 5295);
}

void Form1::build_menus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption, void (Form1::*handler)()) {
        QAction* a = menu ? menu->addAction(caption) : menuBar()->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };
    add(nullptr, "opba", QStringLiteral("открыть базу"), &Form1::opba_Click);
    add(nullptr, "stview", QStringLiteral("начать просмотр"), &Form1::stview_Click);
    QMenu* fofo = menuBar()->addMenu(QStringLiteral("фото"));
    fofo->menuAction()->setObjectName(QStringLiteral("fofo"));
    add(fofo, "smfo", QStringLiteral("установить/сменить"), &Form1::smfo_Click);
    add(fofo, "defo", QStringLiteral("удалить"), &Form1::defo_Click);
}

QAction* Form1::menu_action(const QString& name) const { return findChild<QAction*>(name); }

// Creates the connection and the recordset; opens nothing.
void Form1::Form_Load() {
    try {
        connection_ = std::make_unique<dataaccess::Connection>();
        recordset_ = std::make_unique<dataaccess::Recordset>();
    } catch (const std::exception& e) {
        Unhandled{this}(e);
    }
}

void Form1::opba_Click() {
    try {
        comm1_.InitDir = ui::program_folder();
        comm1_.Filter = dataaccess::qt_text(reg::kRegisterFilter);
        comm1_.Flags = 4100;
        // A cancel keeps the database as it was: the dialog's last file may be a photo.
        if (comm1_.ShowOpen()) database_path_ = comm1_.FileName;
    } catch (const std::exception& e) {
        Unhandled{this}(e);
    }
}

// (Re)opens the register on the database path and shows the first record.
// Every step after the first check is tried on its own; a failure is passed over.
void Form1::stview_Click() {
    if (database_path_.isEmpty()) return;
    dataaccess::Connection& cn = *connection_;
    dataaccess::Recordset& rs = *recordset_;
    try {
        if (rs.State() != 0) rs.Close();
    } catch (const std::exception&) {
    }
    try {
        if (cn.State() != 0) cn.Close();
    } catch (const std::exception&) {
    }
    try {
        cn.Open(dataaccess::qt_text(reg::viewer_connection_string(dataaccess::utf8(database_path_))), QString(), QString(), -1);
        // Read, but not to be changed by any program while a stray journal lies beside it.
        if (const QString warning = cn.Warning(); !warning.isEmpty()) ui::show_message(this, warning);
    } catch (const std::exception&) {
    }
    rs.setActiveConnection(&cn);
    rs.setSource(dataaccess::qt_text(reg::kSelectAll));
    rs.setCursorType(1);
    rs.setLockType(3);
    rs.setCursorLocation(2);
    try {
        rs.Open(-1, -1, -1);
    } catch (const std::exception&) {
    }
    try {
        if (rs.RecordCount() == 0) return;
    } catch (const std::exception&) {
        return;
    }
    try {
        rs.MoveFirst();
    } catch (const std::exception&) {
    }
    card_fill_skipping();
    try {
        showima();
    } catch (const std::exception&) {
    }
}

// The card fill as stview runs it: a row that cannot be read is cleared (its
// size unreadable) or keeps its text (its value unreadable); the rest go on.
void Form1::card_fill_skipping() {
    for (auto [label, column] : kCard) {
        QLabel* l = lab_[static_cast<std::size_t>(label)];
        long size = 0;
        try {
            size = recordset_->fields().Item(static_cast<std::int16_t>(column)).ActualSize();
        } catch (const std::exception&) {
            size = 0;
        }
        if (size == 0) {
            l->setText(QString());
            continue;
        }
        try {
            l->setText(dataaccess::value_text(recordset_->fields().Item(static_cast<std::int16_t>(column)).Value()));
        } catch (const std::exception&) {
        }
    }
}

// The card fill as the buttons run it: the first failure ends it.
void Form1::card_fill() {
    for (auto [label, column] : kCard) {
        QLabel* l = lab_[static_cast<std::size_t>(label)];
        dataaccess::Field f = recordset_->fields().Item(static_cast<std::int16_t>(column));
        if (f.ActualSize() == 0) {
            l->setText(QString());
        } else {
            l->setText(dataaccess::value_text(f.Value()));
        }
    }
}

void Form1::Command1_Click() { step(true); }
void Form1::Command2_Click() { step(false); }

// One record back or forward. A step off either end is undone without a
// word; the one error reported is "no current record", which an empty
// register gives at the first move.
void Form1::step(bool back) {
    dataaccess::Recordset& rs = *recordset_;
    int number = 0;
    try {
        if (back) {
            if (rs.Eof()) rs.MovePrevious();
            if (!rs.Bof()) rs.MovePrevious();
            if (rs.Bof()) {
                rs.MoveNext();
                return;
            }
        } else {
            if (rs.Bof()) rs.MoveNext();
            if (!rs.Eof()) rs.MoveNext();
            if (rs.Eof()) {
                rs.MovePrevious();
                return;
            }
        }
        card_fill();
        showima();
    } catch (const dataaccess::DataError& e) {
        number = e.number();
    } catch (const std::exception&) {
        number = -1;
    }
    if (number == dataaccess::errc::kNoCurrentRecord) ui::show_message(this, kEmptyRegister);
}

// Shows the current record's photo in the frame, sized around a 3000-twip box.
void Form1::showima() {
    dataaccess::Field photo = recordset_->fields().Item(static_cast<std::int16_t>(reg::kPhotoColumn));
    if (photo.ActualSize() == 0) {  // raises "no current record" to the caller, frame untouched
        image1_->setVisible(false);
        return;
    }
    image1_->setVisible(true);
    QString path;
    QSize natural;
    QImage measured;
    try {
        path = photo_file(database_folder(), dataaccess::value_text(photo.Value()));
        if (path.isEmpty() || !read_picture(path, natural, measured)) {
            image1_->setVisible(false);
            return;
        }
    } catch (const std::exception&) {
        image1_->setVisible(false);
        return;
    }
    measured_ = natural;
    // Natural size in twips, 15 to a pixel.
    const float w = static_cast<float>(natural.width()) * 15.0f;
    const float h = static_cast<float>(natural.height()) * 15.0f;
    const float r = h / w;
    image1_->setStretch(true);
    float fw = static_cast<float>(image1_->width()) * 15.0f;
    float fh = static_cast<float>(image1_->height()) * 15.0f;
    // A side of exactly 3000 twips counts as fitting the box.
    if (w <= kBox && h <= kBox) {
        image1_->setStretch(false);
        fh = h;
        fw = w;
    } else if (w > kBox && h > kBox) {
        if (r > 1) {
            fw = kBox;
            fh = kBox * r;
        } else if (r < 1) {
            fh = kBox;
            fw = kBox / r;
        } else {
            fw = kBox;
            fh = kBox;
        }
    } else if (w > kBox) {
        fw = kBox;
        fh = kBox * r;
    } else {
        fh = kBox;
        fw = kBox / r;
    }
    image1_->setGeometry(ui::px(kFrameLeft), ui::px(kFrameTop), ui::px(fw), ui::px(fh));
    QSize shown;
    QImage picture;
    if (read_picture(path, shown, picture, image1_->stretch() ? image1_->size() : natural)) {
        image1_->setPicture(QPixmap::fromImage(picture));
    }
}

void Form1::report(const std::exception& e) { Unhandled{this}(e); }

// The folder that plays the database folder's part: the chosen file's (a
// database or a link file naming a register on a server); for an address,
// which has none, the open connection's.
QString Form1::database_folder() const {
    if (!names_address(database_path_)) return dataaccess::qt_text(reg::database_folder(dataaccess::utf8(database_path_)));
    return connection_->State() != 0 ? connection_->folder() : QString();
}

// Sets or replaces the current person's photo: a picture already lying in the
// database's folder or below it, stored by its name relative to that folder.
void Form1::smfo_Click() {
    if (recordset_->State() == 0) return;
    comm1_.InitDir = ui::program_folder();
    comm1_.Filter = kPhotoFilter;
    comm1_.Flags = 4100;
    // A cancel writes nothing: the dialog's last file belongs to another choice.
    if (!comm1_.ShowOpen()) return;
    chosen_photo_ = comm1_.FileName;
    // From here on a failing step is passed over.
    if (!is_picture_name(chosen_photo_)) return;
    const QString folder = database_folder();
    if (folder.isEmpty() && names_address(database_path_)) return;  // no folder to keep photos in
    if (!chosen_photo_.startsWith(folder + QLatin1Char('/'))) {
        ui::show_message(this, kPhotoFolder);
        return;
    }
    // What follows the database path's last "/" (the folder's end for an address).
    const qsizetype p = names_address(database_path_) ? folder.size() : database_path_.lastIndexOf(QLatin1Char('/'));
    QString stored = chosen_photo_.mid(p + 1);
    stored.replace(QLatin1Char('/'), QLatin1Char('\\'));  // kept as Windows keeps it
    try {
        recordset_->fields().Item(static_cast<std::int16_t>(reg::kPhotoColumn)).setValue(stored);
    } catch (const std::exception&) {
    }
    try {
        recordset_->Update();
    } catch (const dataaccess::DataError& e) {
        // Another office changed the row meanwhile: its change stands, the
        // user is told, and the row is shown again as it is now.
        if (e.number() == dataaccess::errc::kWriteConflict) {
            ui::show_message(this, e.description());
            try {
                card_fill();
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    try {
        showima();
    } catch (const std::exception&) {
    }
}

// Removes the current person's photo: the column is emptied, the file stays.
void Form1::defo_Click() {
    try {
        if (recordset_->State() == 0) return;
        if (recordset_->Bof() || recordset_->Eof()) return;  // an empty register: nothing to clear
        recordset_->fields().Item(static_cast<std::int16_t>(reg::kPhotoColumn)).setValue(QString(""));
        recordset_->Update();
        showima();
    } catch (const std::exception& e) {
        report(e);
        // Another office changed the row meanwhile: it is shown as it is now.
        if (const auto* d = dynamic_cast<const dataaccess::DataError*>(&e); d && d->number() == dataaccess::errc::kWriteConflict) {
            try {
                card_fill();
                showima();
            } catch (const std::exception&) {
            }
        }
    }
}

// Writes the current person into a new document of the word processor: one
// paragraph for each filled-in column from 1 to 22, then the photo.
void Form1::Command3_Click() {
    int number = 0;
    try {
        word_app_.reset();
        word_app_ = word::Application::Create();
        word_app_->setVisible(true);
        word::Document& doc = word_app_->DocumentsAdd();
        doc.Activate();
        for (column_counter_ = 1; column_counter_ <= 22; ++column_counter_) {
            if (recordset_->fields().Item(column_counter_).ActualSize() == 0) continue;
            const bool zero = counts_as_zero(recordset_->fields().Item(column_counter_).Value());
            const QString name = recordset_->fields().Item(column_counter_).Name();
            if (zero) {
                word_app_->TypeText(name + QStringLiteral("-"));
            } else {
                word_app_->TypeText(name + QStringLiteral("  ") + dataaccess::value_text(recordset_->fields().Item(column_counter_).Value()));
            }
            word_app_->TypeParagraph();
        }
        const auto photo_column = static_cast<std::int16_t>(reg::kPhotoColumn);
        if (recordset_->fields().Item(photo_column).ActualSize() != 0) {
            // The photo is looked for where the card finds it: beside the database.
            const QString photo = photo_file(database_folder(), dataaccess::value_text(recordset_->fields().Item(photo_column).Value()));
            if (!photo.isEmpty()) word_app_->AddPicture(photo, false, true);
        }
    } catch (const word::ComError& e) {
        number = e.number();
    } catch (const std::exception&) {
        number = -1;
    }
    // The document goes to the word processor, also with what was typed before
    // a failure. Handing it over failing would leave the user with nothing to
    // see, so that is reported.
    if (word_app_) {
        try {
            word_app_->Release();
            if (number == 0) word_app_.reset();
        } catch (const word::ComError& e) {
            ui::report_error(this, e.number(), QString::fromUtf8(e.what()));
        }
    }
    if (number == word::kCannotCreate) ui::show_message(this, kNoOffice);
}

// Closes the recordset, then the connection, if they are open.
void Form1::Form_QueryUnload() {
    try {
        if (recordset_ && recordset_->State() != 0) recordset_->Close();
        if (connection_ && connection_->State() != 0) connection_->Close();
    } catch (const std::exception& e) {
        Unhandled{this}(e);
    }
}

void Form1::closeEvent(QCloseEvent* e) {
    Form_QueryUnload();
    e->accept();
}
