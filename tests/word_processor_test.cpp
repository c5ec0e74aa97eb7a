// The word processor the export types into: finding it, the documents it
// hands over (looked into with unzip), pictures good, bad and large, and what
// happens when nothing should be handed over.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QXmlStreamReader>
#include <cstdint>
#include <optional>
#include <sys/stat.h>

#include "odt_reader.h"
#include "support.h"
#include "word_processor.h"

namespace {

using namespace testing_support;

QString qpath(const fs::path& p) { return QString::fromStdString(p.string()); }

// An environment variable set for the length of a test.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
        qputenv(name, value);
    }
    ~EnvVar() {
        if (old_) {
            qputenv(name_, *old_);
        } else {
            qunsetenv(name_);
        }
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

struct Launch {
    QString program;
    QString file;
};

// Each test has a temporary folder of its own (the exported files go there),
// a word processor that is "installed", and launches recorded, not run.
class WordProcessorTest : public ::testing::Test {
protected:
    TempDir tmp;
    EnvVar tmpdir{"TMPDIR", QFile::encodeName(qpath(tmp.path()))};
    const QString program = QStringLiteral("/opt/office/program/soffice");
    std::vector<Launch> launches;

    void SetUp() override {
        word::Application::set_finder([this] { return program; });
        word::Application::set_launcher(
            [this](const QString& p, const QString& file) { launches.push_back({p, file}); });
    }
    void TearDown() override {
        word::Application::set_finder(nullptr);
        word::Application::set_launcher(nullptr);
    }

    QString export_folder() const { return qpath(tmp / "zelmar-export"); }

    // A visible application with one active document.
    std::unique_ptr<word::Application> start() {
        auto app = word::Application::Create();
        app->setVisible(true);
        app->DocumentsAdd().Activate();
        return app;
    }

    // The paragraphs of each document handed over, in the order they were.
    std::vector<QStringList> handed_over() const {
        std::vector<QStringList> out;
        for (const Launch& l : launches) out.push_back(read_odt(l.file).paragraphs);
        return out;
    }

    QString picture(const std::string& name, int w, int h, const char* format = nullptr) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(QColor(20, 120, 140));
        const QString path = qpath(tmp / name);
        EXPECT_TRUE(img.save(path, format));
        return path;
    }
};


// Tests that look inside the exported documents need unzip.
class ExportedDocumentTest : public WordProcessorTest {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty()) REGISTER_SKIP() << "unzip is not installed";
        WordProcessorTest::SetUp();
    }
};

// ---- Finding the word processor

TEST_F(WordProcessorTest, NoneInstalledIs429) {
    word::Application::set_finder([] { return QString(); });
    try {
        word::Application::Create();
        FAIL() << "Create succeeded without a word processor";
    } catch (const word::ComError& e) {
        EXPECT_EQ(e.number(), word::kCannotCreate);
        EXPECT_EQ(QString::fromStdString(e.what()),
                  QStringLiteral("Не удается создать объект: текстовый процессор не установлен."));
    }
}

TEST_F(WordProcessorTest, LooksForSofficeThenLibreofficeOnPath) {
    word::Application::set_finder(nullptr);
    const fs::path bin = tmp / "bin";
    fs::create_directories(bin);
    EnvVar path("PATH", QFile::encodeName(qpath(bin)));
    auto exported_by = [&]() -> QString {
        launches.clear();
        auto app = start();
        app->Release();
        return launches.size() == 1 ? launches[0].program : QString();
    };

    EXPECT_THROW(word::Application::Create(), word::ComError) << "an empty PATH";

    auto install = [&](const char* name) {
        write_file(bin / name, "#!/bin/sh\n");
        fs::permissions(bin / name, fs::perms::owner_all);
    };
    install("libreoffice");
    EXPECT_EQ(exported_by(), qpath(bin / "libreoffice"));
    install("soffice");
    EXPECT_EQ(exported_by(), qpath(bin / "soffice"));
}

// ---- Handing documents over

TEST_F(ExportedDocumentTest, TypedRecordAndPhotoReachTheDocumentInOrder) {
    const QString photo = picture("photo.jpg", 120, 160, "JPEG");
    {
        auto app = start();
        app->TypeText(QStringLiteral("Фамилия  Иванов"));
        app->TypeParagraph();
        app->TypeText(QStringLiteral("Имя\tЁжик <b>&amp;</b>"));
        app->TypeParagraph();
        app->TypeText(QStringLiteral("Отчество-"));
        app->TypeParagraph();
        app->AddPicture(photo, false, true);
        app->Release();
        ASSERT_EQ(launches.size(), 1u);
    }  // the application goes; the file stays for the word processor
    EXPECT_EQ(launches[0].program, program);
    const QString file = launches[0].file;
    ASSERT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
    EXPECT_EQ(QFileInfo(file).absolutePath(), export_folder());
    EXPECT_TRUE(file.endsWith(QStringLiteral(".odt")));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(export_folder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the folder is closed to other users";

    const Odt odt = read_odt(file);
    ASSERT_TRUE(odt.well_formed);
    ASSERT_EQ(odt.paragraphs.size(), 4);
    EXPECT_EQ(odt.paragraphs[0], QStringLiteral("Фамилия  Иванов"));
    EXPECT_EQ(odt.paragraphs[1], QStringLiteral("Имя\tЁжик <b>&amp;</b>"));
    EXPECT_EQ(odt.paragraphs[2], QStringLiteral("Отчество-"));
    EXPECT_EQ(odt.paragraphs[3], QString());

    ASSERT_EQ(odt.images.size(), 1u);
    const QString href = odt.images[0].href;
    EXPECT_TRUE(href.startsWith(QStringLiteral("Pictures/"))) << href.toStdString();
    EXPECT_TRUE(odt.entries.contains(href));
    EXPECT_TRUE(odt.manifest.contains(href.toUtf8())) << "listed in the package's manifest";
    EXPECT_EQ(embedded_picture(file, href).size(), QSize(120, 160));
    // Shown at its size in pixels: 120 × 160 at 96 pixels an inch.
    EXPECT_EQ(odt.images[0].points, QSizeF(90, 120));
}

TEST_F(ExportedDocumentTest, LineEndsAndControlCharactersStillGiveAReadableDocument) {
    auto app = start();
    app->TypeText(QStringLiteral("один\r\nдва\rтри\nчетыре"));
    app->TypeParagraph();
    QString odd = QStringLiteral("a");
    for (char16_t c : {char16_t{0x01}, u'b', char16_t{0x00}, u'c', char16_t{0x0B}, u'd', char16_t{0xFFFF}, u'e',
                       char16_t{0xFFFC}, u'f', char16_t{0xD800}, u'g'}) {
        odd += QChar(c);
    }
    app->TypeText(odd);
    app->Release();
    ASSERT_EQ(launches.size(), 1u);

    const Odt odt = read_odt(launches[0].file);
    ASSERT_TRUE(odt.well_formed);
    EXPECT_EQ(odt.paragraphs,
              (QStringList{QStringLiteral("один"), QStringLiteral("два"), QStringLiteral("три"), QStringLiteral("четыре"),
                           QStringLiteral("abc"), QStringLiteral("def") + QChar(QChar::ReplacementCharacter) + u'g'}));
    EXPECT_TRUE(odt.images.empty());
}

TEST_F(ExportedDocumentTest, TypingGoesToTheActivatedDocument) {
    auto app = word::Application::Create();
    app->setVisible(true);
    word::Document& first = app->DocumentsAdd();
    app->TypeText(QStringLiteral("первый"));
    word::Document& second = app->DocumentsAdd();  // a new document is the active one
    app->TypeText(QStringLiteral("второй"));
    first.Activate();
    app->TypeText(QStringLiteral(" снова"));
    second.Activate();
    app->TypeText(QStringLiteral(" тоже"));
    app->Release();

    ASSERT_EQ(handed_over(), (std::vector<QStringList>{{"первый снова"}, {"второй тоже"}}));
    EXPECT_NE(launches[0].file, launches[1].file);
}

TEST_F(ExportedDocumentTest, TwoApplicationsHandOverTwoDocuments) {
    auto a = start();
    auto b = start();
    a->TypeText(QStringLiteral("Петров"));
    b->TypeText(QStringLiteral("Сидоров"));
    a->Release();
    b->Release();
    ASSERT_EQ(handed_over(), (std::vector<QStringList>{{"Петров"}, {"Сидоров"}}));
    EXPECT_NE(launches[0].file, launches[1].file);
}

TEST_F(WordProcessorTest, NothingIsHandedOverUnlessAVisibleApplicationIsReleased) {
    {
        auto hidden = word::Application::Create();
        hidden->DocumentsAdd().Activate();
        hidden->TypeText(QStringLiteral("скрытый"));
        hidden->Release();
    }
    {
        auto dropped = start();
        dropped->TypeText(QStringLiteral("брошенный"));
    }  // destroyed without Release
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(QDir(export_folder()).entryList(QDir::Files).isEmpty());

    auto app = start();
    app->Release();
    app->Release();  // letting go twice hands over once
    EXPECT_EQ(launches.size(), 1u);
    // Once let go, the application types nowhere rather than losing the text.
    EXPECT_THROW(app->TypeText(QStringLiteral("после")), word::ComError);
    EXPECT_THROW(app->DocumentsAdd(), word::ComError);
}

TEST_F(WordProcessorTest, TypingWithoutADocumentFails) {
    auto app = word::Application::Create();
    app->setVisible(true);
    EXPECT_THROW(app->TypeText(QStringLiteral("x")), word::ComError);
    EXPECT_THROW(app->TypeParagraph(), word::ComError);
    EXPECT_THROW(app->AddPicture(picture("p.png", 4, 4)), word::ComError);
}

// ---- Pictures

TEST_F(ExportedDocumentTest, ABadPictureFailsAndKeepsTheTypedText) {
    write_file(tmp / "not-a-picture.jpg", "это не рисунок");
    auto app = start();
    app->TypeText(QStringLiteral("Фамилия  Иванов"));
    app->TypeParagraph();
    for (const QString& bad : {qpath(tmp / "not-a-picture.jpg"), qpath(tmp / "missing.jpg"), qpath(tmp.path())}) {
        try {
            app->AddPicture(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const word::ComError& e) {
            EXPECT_NE(e.number(), word::kCannotCreate);
            EXPECT_TRUE(QString::fromStdString(e.what()).contains(bad)) << e.what();
        }
    }
    app->Release();  // what an export does after a failure
    ASSERT_EQ(launches.size(), 1u);
    const Odt odt = read_odt(launches[0].file);
    ASSERT_TRUE(odt.well_formed);
    EXPECT_EQ(odt.paragraphs, (QStringList{QStringLiteral("Фамилия  Иванов"), QString()}));
    EXPECT_TRUE(odt.images.empty());
}

TEST_F(ExportedDocumentTest, ALargePictureIsStoredScaledDownAndShownWithinThePage) {
    const QString big = picture("big.png", 6000, 4000);
    const QString tall = picture("tall.png", 300, 1800);
    auto app = start();
    app->AddPicture(big);
    app->TypeParagraph();
    app->AddPicture(tall);
    app->Release();
    ASSERT_EQ(launches.size(), 1u);

    const Odt odt = read_odt(launches[0].file);
    ASSERT_EQ(odt.images.size(), 2u);
    ASSERT_NE(odt.images[0].href, odt.images[1].href);
    const QImage stored = embedded_picture(launches[0].file, odt.images[0].href);
    EXPECT_EQ(stored.width(), 4000);
    EXPECT_NEAR(stored.height(), 2667, 1);
    // 600 × 400 pixels: the width of the page's text.
    EXPECT_EQ(odt.images[0].points, QSizeF(450, 300));
    EXPECT_EQ(embedded_picture(launches[0].file, odt.images[1].href).size(), QSize(300, 1800));
    // 150 × 900 pixels: the height of the page's text.
    EXPECT_EQ(odt.images[1].points, QSizeF(112.5, 675));
}

std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void append_be32(QByteArray& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((v >> shift) & 0xFF));
}

void append_chunk(QByteArray& png, const char* type, const QByteArray& data) {
    append_be32(png, static_cast<std::uint32_t>(data.size()));
    const QByteArray body = QByteArray(type) + data;
    png += body;
    append_be32(png, crc32(body));
}

// A valid black-and-white PNG: small on disk, enormous once decoded.
QByteArray mono_png(int w, int h) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    append_be32(header, static_cast<std::uint32_t>(w));
    append_be32(header, static_cast<std::uint32_t>(h));
    header.append("\x01\x00\x00\x00\x00", 5);  // 1 bit grey, deflate, no filter, no interlace
    append_chunk(png, "IHDR", header);
    const QByteArray rows(static_cast<qsizetype>(h) * (1 + (w + 7) / 8), '\0');
    append_chunk(png, "IDAT", qCompress(rows, 9).mid(4));  // a zlib stream after Qt's length
    append_chunk(png, "IEND", {});
    return png;
}

TEST_F(ExportedDocumentTest, AHugePictureIsRefusedWithoutExhaustingMemory) {
    const fs::path huge = tmp / "huge.png";
    const QByteArray png = mono_png(20000, 20000);
    write_file(huge, png.toStdString());

    auto app = start();
    app->TypeText(QStringLiteral("Номер  7"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(app->AddPicture(qpath(huge)), word::ComError);
    EXPECT_LT(timer.elapsed(), 5000);
    app->Release();
    EXPECT_EQ(handed_over(), std::vector<QStringList>{{"Номер  7"}});
}

// ---- Starting the word processor and its files

TEST_F(WordProcessorTest, StartsTheProgramDetachedWithTheDocumentAsATemplate) {
    word::Application::set_launcher(nullptr);
    const fs::path fake = tmp / "soffice";
    write_file(fake, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n");
    fs::permissions(fake, fs::perms::owner_all);
    word::Application::set_finder([&] { return qpath(fake); });

    auto app = start();
    app->TypeText(QStringLiteral("Иванов"));
    app->Release();

    const QString args_file = qpath(tmp / "soffice.args");
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(args_file) && timer.elapsed() < 20000) QThread::msleep(20);
    const QStringList args = QString::fromStdString(read_file(tmp / "soffice.args")).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(args.size(), 2) << args.join(u' ').toStdString();
    EXPECT_EQ(args[0], QStringLiteral("-n"));
    EXPECT_TRUE(QFileInfo(args[1]).isFile());
    EXPECT_EQ(QFileInfo(args[1]).absolutePath(), export_folder());
}

TEST_F(WordProcessorTest, AProgramThatCannotStartIsReportedAndTheDocumentKept) {
    word::Application::set_launcher(nullptr);
    word::Application::set_finder([&] { return qpath(tmp / "gone" / "soffice"); });
    auto app = start();
    app->TypeText(QStringLiteral("Иванов"));
    try {
        app->Release();
        FAIL() << "a program that does not exist was reported as started";
    } catch (const word::ComError& e) {
        const QStringList kept = QDir(export_folder()).entryList(QDir::Files);
        ASSERT_EQ(kept.size(), 1);
        EXPECT_TRUE(QString::fromStdString(e.what()).contains(kept[0])) << e.what();
    }
    EXPECT_NO_THROW(app->Release());
}

TEST_F(WordProcessorTest, ALinkInPlaceOfTheExportFolderIsNotFollowed) {
    const fs::path elsewhere = tmp / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, tmp / "zelmar-export");

    auto app = start();
    app->TypeText(QStringLiteral("Иванов"));
    app->Release();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    const QFileInfo written(launches[0].file);
    EXPECT_TRUE(written.isFile());
    EXPECT_FALSE(QFileInfo(written.absolutePath()).isSymLink());
    EXPECT_EQ(written.absoluteDir().dirName().left(13), QStringLiteral("zelmar-export"));
}

TEST_F(WordProcessorTest, AnExportFolderOpenToOthersIsClosed) {
    fs::create_directories(tmp / "zelmar-export");
    fs::permissions(tmp / "zelmar-export", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
    auto app = start();
    app->Release();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(QFileInfo(launches[0].file).absolutePath(), export_folder());
    EXPECT_EQ(fs::status(tmp / "zelmar-export").permissions(), fs::perms::owner_all);
}

TEST_F(WordProcessorTest, OldExportsAreRemovedWhenTheApplicationStarts) {
    fs::create_directories(tmp / "zelmar-export");
    auto make = [&](const std::string& name, int age_hours) {
        const fs::path p = tmp / "zelmar-export" / name;
        write_file(p, "x");
        QFile f(qpath(p));
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        EXPECT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * age_hours),
                                  QFileDevice::FileModificationTime));
        return p;
    };
    const fs::path old_export = make("document-20200101-000000-1.odt", 72);
    const fs::path recent_export = make("document-20200101-000000-2.odt", 24);
    const fs::path someone_elses = make("notes.odt", 72);

    word::Application::Create();
    EXPECT_FALSE(fs::exists(old_export));
    EXPECT_TRUE(fs::exists(recent_export));
    EXPECT_TRUE(fs::exists(someone_elses));
}

}  // namespace
