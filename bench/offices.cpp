// One office of several working on one server register at once, for
// offices.sh: for a given number of seconds it does one kind of work through
// the data access layer the windows use, and writes what it did to a log
// that offices.sh checks afterwards.
//
//   offices search CLIENT LINK SECONDS LOG
//       the browser's search: a surname's beginning, the first screen of rows
//   offices photo CLIENT LINK SECONDS LOG
//       the viewer's photo change: a row read, its Фото put and stored
//   offices move CLIENT LINK SECONDS LOG WORKDIR
//       moves: a small file of new persons into the register; the office's
//       own server register out to a file and back in
//
// Each photo path carries the writer and the state it replaced,
// "c07-000123.jpg;prev=c03-000045" ("orig" for a row's first value), so that
// the stored values of a row must form one chain; two stored writes on one
// state are a lost update. The log's lines:
//   W PHONE ID PREV      a photo change stored
//   R PHONE ID NUMBER    a photo change refused (a conflict among them)
//   N PHONE              a new person put into a file about to move in
//   F PATH               a file left with rows when its move failed
//   E ROLE NUMBER TEXT   an operation that failed
//   OPS ROLE COUNT SECONDS
#include <QString>
#include <QVariant>
#include <chrono>
#include <cstdio>
#include <exception>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "dataaccess/move.h"
#include "dataaccess/query.h"
#include "dataaccess/recordset.h"

namespace {

using Clock = std::chrono::steady_clock;

QString connection_string(const QString& path) { return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path; }

int column(dataaccess::Recordset& rs, const QString& name) {
    for (int i = 0; i < rs.column_count(); ++i) {
        if (rs.column_name(i) == name) return i;
    }
    throw std::runtime_error("no column " + name.toStdString());
}

std::string write_id(int client, long seq) {
    char id[32];
    std::snprintf(id, sizeof id, "c%02d-%06ld", client, seq);
    return id;
}

// The writer's id in a stored photo path, "orig" for any other.
std::string id_of(const QString& photo) {
    const qsizetype dot = photo.indexOf(QStringLiteral(".jpg;prev="));
    return photo.startsWith(QLatin1Char('c')) && dot > 0 ? photo.left(dot).toStdString() : std::string("orig");
}

class Office {
public:
    Office(int client, QString link, double seconds, const std::string& log)
        : client_(client), link_(std::move(link)), end_(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))),
          log_(log), random_(static_cast<unsigned>(client) * 7919U + 1U) {}

    bool running() const { return Clock::now() < end_; }
    std::ofstream& log() { return log_; }
    std::mt19937& random() { return random_; }
    int client() const { return client_; }
    const QString& link() const { return link_; }

    void failed(const char* role, const std::exception& e) {
        const auto* d = dynamic_cast<const dataaccess::DataError*>(&e);
        std::string text = d ? d->description().toStdString() : e.what();
        for (char& c : text) {
            if (c == '\n') c = ' ';
        }
        log_ << "E " << role << ' ' << (d ? d->number() : 0) << ' ' << text << '\n';
    }

private:
    int client_;
    QString link_;
    Clock::time_point end_;
    std::ofstream log_;
    std::mt19937 random_;
};

long search(Office& o) {
    static const char* const kSurnames[] = {"Иванов", "Петров", "Сидоров", "Кузнецов", "Смирнов", "Попов", "Васильев", "Соколов", "Михайлов", "Новиков"};
    long ops = 0;
    while (o.running()) {
        const QString surname = QString::fromUtf8(kSurnames[o.random()() % 10]) + QString::number(o.random()() % 100);
        const QString statement = QStringLiteral("SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ "
                                                 "WHERE Фамилия Like '") + surname + QStringLiteral("%'");
        try {
            const std::unique_ptr<dataaccess::Query> q = dataaccess::Query::run(o.link(), statement);
            (void)q->rows(0, 30);
            ++ops;
        } catch (const std::exception& e) {
            o.failed("search", e);
        }
    }
    return ops;
}

// Most changes go to the first rows, so that offices meet on the same rows.
long photo(Office& o) {
    dataaccess::Connection cn;
    dataaccess::Recordset rs;
    cn.Open(connection_string(o.link()));
    rs.setActiveConnection(&cn);
    rs.setSource(QStringLiteral("SELECT * FROM ЗУРТ"));
    rs.Open(1, 3);
    const int photo_column = column(rs, QStringLiteral("Фото"));
    const int phone_column = column(rs, QStringLiteral("Телефон"));
    const long rows = rs.RecordCount();
    long ops = 0, seq = 0;
    while (o.running()) {
        const long place = o.random()() % 10 == 0 ? static_cast<long>(o.random()() % static_cast<unsigned long>(rows)) : static_cast<long>(o.random()() % 100);
        const std::string id = write_id(o.client(), ++seq);
        std::string phone = "?";
        try {
            rs.MoveFirst();
            for (long i = 0; i < place; ++i) rs.MoveNext();
            phone = rs.fields().Item(static_cast<std::int16_t>(phone_column)).Value().toString().toStdString();
            const std::string prev = id_of(rs.fields().Item(static_cast<std::int16_t>(photo_column)).Value().toString());
            // A moment at the card before the photo is chosen.
            std::this_thread::sleep_for(std::chrono::microseconds(o.random()() % 3000));
            rs.fields().Item(static_cast<std::int16_t>(photo_column)).setValue(QString::fromStdString(id + ".jpg;prev=" + prev));
            rs.Update();
            o.log() << "W " << phone << ' ' << id << ' ' << prev << '\n';
            ++ops;
        } catch (const dataaccess::DataError& e) {
            o.log() << "R " << phone << ' ' << id << ' ' << e.number() << '\n';
            o.failed("photo", e);
            ++ops;
        } catch (const std::exception& e) {
            o.failed("photo", e);
        }
    }
    return ops;
}

// A file of new persons made from the empty register beside the work folder's files.
void new_persons(Office& o, const std::filesystem::path& empty, const std::filesystem::path& file, long& person) {
    std::filesystem::copy_file(empty, file, std::filesystem::copy_options::overwrite_existing);
    dataaccess::Connection cn;
    cn.Open(connection_string(QString::fromStdString(file.string())));
    dataaccess::Recordset rs;
    rs.setActiveConnection(&cn);
    rs.setSource(QStringLiteral("SELECT * FROM ЗУРТ"));
    rs.Open(1, 3);
    const int surname = column(rs, QStringLiteral("Фамилия")), phone = column(rs, QStringLiteral("Телефон")),
              photo_column = column(rs, QStringLiteral("Фото"));
    for (int i = 0; i < 20; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "+7 8%02d %06ld", o.client(), ++person);
        rs.AddNew();
        rs.fields().Item(static_cast<std::int16_t>(surname)).setValue(QStringLiteral("Новиков") + QString::number(person % 100));
        rs.fields().Item(static_cast<std::int16_t>(phone)).setValue(QString::fromLatin1(number));
        rs.fields().Item(static_cast<std::int16_t>(photo_column)).setValue(QStringLiteral("foto\\new.jpg"));
        rs.Update();
        o.log() << "N " << number << '\n';
    }
    rs.Close();
    cn.Close();
}

long move(Office& o, const std::filesystem::path& work) {
    const std::string me = std::to_string(o.client());
    const std::filesystem::path empty = work / "empty.mdb", file = work / ("out_" + me + ".mdb");
    const QString own = QString::fromStdString((work / ("own_" + me + ".pgreg")).string()), out = QString::fromStdString(file.string());
    long ops = 0, person = 0, round = 0;
    o.log().flush();
    while (o.running()) {
        const std::filesystem::path arriving = work / ("in_" + me + "_" + std::to_string(round) + ".mdb");
        const QString in = QString::fromStdString(arriving.string());
        try {
            switch (round++ % 3) {
            case 0:
                new_persons(o, empty, arriving, person);
                o.log().flush();
                dataaccess::move_register(in, o.link());
                std::filesystem::remove(arriving);
                break;
            case 1: dataaccess::move_register(own, out); break;
            case 2: dataaccess::move_register(out, own); break;
            }
            ++ops;
        } catch (const std::exception& e) {
            if (std::filesystem::exists(arriving)) o.log() << "F " << arriving.string() << '\n';
            o.failed("move", e);
        }
    }
    return ops;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: offices search|photo|move CLIENT LINK SECONDS LOG [WORKDIR]\n");
        return 2;
    }
    const std::string role = argv[1];
    Office o(std::stoi(argv[2]), QString::fromLocal8Bit(argv[3]), std::stod(argv[4]), argv[5]);
    const auto start = Clock::now();
    long ops = 0;
    try {
        if (role == "search") {
            ops = search(o);
        } else if (role == "photo") {
            ops = photo(o);
        } else if (role == "move" && argc == 7) {
            ops = move(o, argv[6]);
        } else {
            std::fprintf(stderr, "offices: unknown role %s\n", role.c_str());
            return 2;
        }
    } catch (const std::exception& e) {
        o.failed(role.c_str(), e);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    o.log() << "OPS " << role << ' ' << ops << ' ' << seconds << '\n';
    return 0;
}
