// The word processor, driven the way the export expects of one: start an
// application and show it, add a blank document and activate it, type text
// and paragraph marks at the insertion point, add an embedded picture there,
// let go. On Linux the document is built with Qt's rich-text document and,
// when the application is let go, handed to LibreOffice Writer as a new
// untitled, unsaved document (an ODF text file opened with `soffice -n`,
// started detached and never waited for).
#pragma once

#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace word {

// A failure of the word processor. Number 429: there is none to start.
class ComError : public std::runtime_error {
public:
    ComError(int number, const QString& text) : std::runtime_error(text.toStdString()), number_(number) {}
    int number() const noexcept { return number_; }

private:
    int number_;
};
constexpr int kCannotCreate = 429;

class Application;

class Document {
public:
    Document();
    void Activate();  // makes it the one the selection types into
    QTextDocument& content() { return doc_; }
    QTextCursor& cursor() { return cursor_; }

private:
    friend class Application;
    QTextDocument doc_;
    QTextCursor cursor_;
    Application* owner_ = nullptr;  // the application that added it, if any
};

class Application {
public:
    // Starts the word processor (here: finds the program, run when the
    // documents are handed over); raises ComError(429) when none is installed.
    static std::unique_ptr<Application> Create();
    ~Application();

    void setVisible(bool on);
    // A new blank document (Documents.Add with every argument left out).
    Document& DocumentsAdd();
    // The active window's selection: typing goes to the active document's insertion point.
    void TypeText(const QString& text);
    void TypeParagraph();
    // Selection.InlineShapes.AddPicture: the picture is embedded at the
    // insertion point; raises ComError when the file cannot be read as a picture.
    void AddPicture(const QString& file_name, bool link_to_file = false, bool save_with_document = true);
    // Lets go of the application: every document is handed to the word
    // processor as a new untitled document (when the application is visible).
    void Release();

    // Seams for tests: where the word processor is found (empty: none), and
    // what starts it with a document file instead of running it.
    using Finder = std::function<QString()>;
    using Launcher = std::function<void(const QString& program, const QString& document_file)>;
    static void set_finder(Finder f);
    static void set_launcher(Launcher l);

private:
    friend class Document;
    explicit Application(QString program) : program_(std::move(program)) {}
    Document& active();
    void hand_over(Document& doc);

    QString program_;
    bool visible_ = false;
    bool released_ = false;
    std::vector<std::unique_ptr<Document>> documents_;
    Document* active_ = nullptr;
    int pictures_ = 0;  // names the embedded pictures apart
};

}  // namespace word
