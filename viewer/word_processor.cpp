#include "word_processor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSizeF>
#include <QStandardPaths>
#include <QTextDocumentWriter>
#include <QTextImageFormat>
#include <QUrl>
#include <filesystem>
#include <optional>
#include <system_error>

#include "system/user.h"

namespace word {

namespace {

// Error numbers, after the ones Word and Visual Basic raise in these cases.
constexpr int kFileAccess = 75;     // the document file cannot be written
constexpr int kUnavailable = 462;   // the word processor cannot be started, or was let go
constexpr int kNoDocument = 4248;   // typing with no document open
constexpr int kBadPicture = 5152;   // the picture file cannot be read

// Pictures are kept in the document at most this many pixels a side.
constexpr int kMaxStoredSide = 4000;
// Qt reads PNG and JPEG pictures scaled down as they are decoded, and
// refuses to build a picture larger than its allocation limit (128 MB unless
// changed) in one piece. Decoders still keep working memory in proportion to
// the picture's pixels (a progressive JPEG all of its coefficients), so a
// picture larger than this is refused before it is decoded at all.
constexpr qint64 kMaxPixels = qint64{200} * 1000 * 1000;
// An A4 page with Writer's 2 cm margins leaves 17 × 25.7 cm for text; at 96
// pixels an inch a picture shown at most 600 × 900 pixels fits on it.
constexpr qreal kTextWidth = 600;
constexpr qreal kTextHeight = 900;
// Photographs (JPEG files) are stored as JPEG again; everything else as PNG.
constexpr int kJpegQuality = 90;
// Exported files are needed only until the word processor has read them.
constexpr int kKeepDays = 2;

Application::Finder& finder_seam() {
    static Application::Finder f;
    return f;
}

Application::Launcher& launcher_seam() {
    static Application::Launcher l;
    return l;
}

QString find_word_processor() {
    for (const QString& name : {QStringLiteral("soffice"), QStringLiteral("libreoffice")}) {
        QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

[[noreturn]] void throw_released() {
    throw ComError(kUnavailable,
                   QStringLiteral("Удаленный сервер не существует или недоступен: текстовый процессор уже отпущен."));
}

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// The folder the documents are written to before the word processor opens
// them. The temporary folder is shared by every user of the machine, so the
// folder must be a real directory (not a link) owned by us and closed to
// others; when someone else holds the name, a name of our own is used.
QString export_folder() {
    namespace fs = std::filesystem;
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QString candidates[] = {
        temp + QStringLiteral("/zelmar-export"),
        temp + QStringLiteral("/zelmar-export-") + QString::fromStdString(sys::user_id()),
    };
    constexpr fs::perms kOthers = fs::perms::group_all | fs::perms::others_all;
    for (const QString& name : candidates) {
        const fs::path path = name.toStdU16String();
        std::error_code ec;
        if (!sys::make_private_folder(path, ec)) continue;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (ec || st.type() != fs::file_type::directory || !sys::owned_by_user(path)) continue;
        if ((st.permissions() & kOthers) != fs::perms::none) {
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, ec);
            if (ec) continue;
        }
        return name;
    }
    throw ComError(kFileAccess, QStringLiteral("Не удается создать папку для документов %1.").arg(native(candidates[0])));
}

// Files left over from earlier exports; whatever cannot be removed stays.
void remove_old_exports() noexcept {
    try {
        const QDir folder(export_folder());
        const QDateTime limit = QDateTime::currentDateTime().addDays(-kKeepDays);
        const QFileInfoList files =
            folder.entryInfoList({QStringLiteral("document-*.odt")}, QDir::Files | QDir::NoSymLinks | QDir::Hidden);
        for (const QFileInfo& f : files) {
            if (f.lastModified() < limit) QFile::remove(f.absoluteFilePath());
        }
    } catch (...) {
    }
}

// Writes the document as an ODF text file under a new name (ASCII only, so
// that the word processor reads it whatever the locale) and returns the name.
QString write_document(QTextDocument& doc) {
    const QString folder = export_folder();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile file;
    for (int n = 1;; ++n) {
        file.setFileName(QStringLiteral("%1/document-%2-%3.odt").arg(folder, stamp, QString::number(n)));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) break;
        if (!file.exists() || n >= 1000) {
            throw ComError(kFileAccess, QStringLiteral("Не удается создать файл %1: %2")
                                            .arg(native(file.fileName()), file.errorString()));
        }
    }
    QTextDocumentWriter writer(&file, QByteArrayLiteral("odf"));
    bool written = writer.write(&doc);
    // A write that failed on the way leaves its error only until the file is closed.
    written = file.flush() && file.error() == QFileDevice::NoError && written;
    QString why = file.errorString();
    file.close();
    if (written && file.error() != QFileDevice::NoError) {
        written = false;
        why = file.errorString();
    }
    if (!written) {
        file.remove();
        throw ComError(kFileAccess, QStringLiteral("Не удается записать документ в файл %1: %2")
                                        .arg(native(file.fileName()), why));
    }
    return file.fileName();
}

bool xml_character(char32_t c) {
    if (c < 0x20) return c == u'\t' || c == u'\n';
    return c != 0xFFFE && c != 0xFFFF;
}

// What typing puts into the document. A line end of any kind starts a new
// paragraph, as Word's vbCr does; so do a vertical tab and the Unicode line
// separator (Qt's ODF writer would put a stray tab before such a line break).
// Other control characters, characters an XML file cannot carry and the
// marker the document keeps for pictures are left out, and a broken UTF-16
// pair becomes the replacement character.
QString typed_text(const QString& text) {
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < n && text.at(i + 1) == u'\n') ++i;
        } else if (c == u'\v' || c == QChar::LineSeparator) {
            out += u'\n';
        } else if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (c.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (xml_character(c.unicode()) && c != QChar::ObjectReplacementCharacter) {
            out += c;
        }
    }
    return out;
}

}  // namespace

Document::Document() : cursor_(&doc_) { doc_.setUndoRedoEnabled(false); }

void Document::Activate() {
    if (owner_) owner_->active_ = this;
}

void Application::set_finder(Finder f) { finder_seam() = std::move(f); }
void Application::set_launcher(Launcher l) { launcher_seam() = std::move(l); }

std::unique_ptr<Application> Application::Create() {
    QString program = finder_seam() ? finder_seam()() : find_word_processor();
    if (program.isEmpty()) {
        throw ComError(kCannotCreate, QStringLiteral("Не удается создать объект: текстовый процессор не установлен."));
    }
    remove_old_exports();
    return std::unique_ptr<Application>(new Application(std::move(program)));
}

// Letting go of the object without Release hands nothing over.
Application::~Application() = default;

void Application::setVisible(bool on) { visible_ = on; }

Document& Application::DocumentsAdd() {
    if (released_) throw_released();
    auto doc = std::make_unique<Document>();
    doc->owner_ = this;
    documents_.push_back(std::move(doc));
    active_ = documents_.back().get();
    return *active_;
}

Document& Application::active() {
    if (released_) throw_released();
    if (!active_) throw ComError(kNoDocument, QStringLiteral("Команда недоступна, так как нет открытых документов."));
    return *active_;
}

void Application::TypeText(const QString& text) { active().cursor().insertText(typed_text(text)); }

void Application::TypeParagraph() { active().cursor().insertBlock(); }

// The picture is always embedded: a link to the file would point at a
// picture the word processor may not be able to reach later.
void Application::AddPicture(const QString& file_name, bool /*link_to_file*/, bool /*save_with_document*/) {
    Document& doc = active();
    QImageReader reader(file_name);
    reader.setAutoTransform(false);  // as the viewer's card shows it
    const QSize natural = reader.size();
    if (!natural.isValid() || natural.isEmpty()) {
        const QString text = QFileInfo::exists(file_name) ? QStringLiteral("Файл не является рисунком: %1")
                                                          : QStringLiteral("Файл рисунка не найден: %1");
        throw ComError(kBadPicture, text.arg(native(file_name)));
    }
    const bool photograph = reader.format() == "jpeg";
    if (qint64{natural.width()} * natural.height() > kMaxPixels) {
        throw ComError(kBadPicture, QStringLiteral("Рисунок слишком велик (%1 × %2 точек): %3")
                                        .arg(natural.width())
                                        .arg(natural.height())
                                        .arg(native(file_name)));
    }
    QSize stored = natural;
    if (stored.width() > kMaxStoredSide || stored.height() > kMaxStoredSide) {
        stored.scale(kMaxStoredSide, kMaxStoredSide, Qt::KeepAspectRatio);
        stored = stored.expandedTo(QSize(1, 1));
        reader.setScaledSize(stored);
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        throw ComError(kBadPicture, QStringLiteral("Не удается прочитать рисунок %1: %2")
                                        .arg(native(file_name), reader.errorString()));
    }

    // Shown at its size in pixels, as Word shows a picture without a
    // resolution of its own, but never wider or taller than the page's text.
    QSizeF shown(natural);
    if (shown.width() > kTextWidth || shown.height() > kTextHeight) {
        shown.scale(kTextWidth, kTextHeight, Qt::KeepAspectRatio);
    }
    const QString name = QStringLiteral("picture-%1").arg(++pictures_);
    doc.content().addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(shown.width());
    format.setHeight(shown.height());
    if (photograph && !image.hasAlphaChannel()) format.setQuality(kJpegQuality);
    doc.cursor().insertImage(format);
}

void Application::hand_over(Document& doc) {
    const QString file = write_document(doc.content());
    if (launcher_seam()) {
        launcher_seam()(program_, file);
        return;
    }
    // -n: the file is a template, so Writer opens a new untitled document from it.
    if (!QProcess::startDetached(program_, {QStringLiteral("-n"), file})) {
        throw ComError(kUnavailable, QStringLiteral("Не удается запустить текстовый процессор %1. Документ сохранен в файле %2.")
                                         .arg(native(program_), native(file)));
    }
}

// Every document is handed over even when one of them fails; the first
// failure is raised afterwards. Letting go twice does nothing the second time.
void Application::Release() {
    if (released_) return;
    released_ = true;
    if (!visible_) return;
    std::optional<ComError> failure;
    for (const auto& doc : documents_) {
        try {
            hand_over(*doc);
        } catch (const ComError& e) {
            if (!failure) failure = e;
        }
    }
    if (failure) throw *failure;
}

}  // namespace word
