#include "demo.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "demo_data.h"
#include "demo_images.h"
#include "say.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"

namespace regtool {
namespace {

namespace fs = std::filesystem;

std::runtime_error already_there(const fs::path& target) {
    return std::runtime_error(say("«" + target.string() + "» уже существует; демонстрационный реестр записывается только туда, где его нет",
                                  target.string() + " already exists; the demo register is only written where there is none"));
}

// Gives the finished file its final name, unless a file of that name has
// appeared meanwhile: a hard link refuses to replace one, a rename would not.
void publish(const fs::path& from, const fs::path& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        fs::remove(from);
        return;
    }
    if (errno == EEXIST) throw already_there(to);
    // A file system without hard links: look, then rename.
    if (fs::exists(to)) throw already_there(to);
    fs::rename(from, to);
}

void write_database(const fs::path& path, std::vector<std::vector<jet::Value>> rows) {
    jet::create_database(path.string());
    jet::Database db(path.string());
    reg::create_register_table(db);
    jet::WriteGroup group(db);
    jet::TableWriter& table = group.table("ЗУРТ");
    for (std::vector<jet::Value>& row : rows) table.insert(row);
    group.commit();
}

}  // namespace

void write_demo(const std::string& dir, std::uint32_t seed) {
    const fs::path root(dir);
    const fs::path target = root / "demo.mdb";
    if (fs::exists(target)) throw already_there(target);
    fs::create_directories(root / "foto");

    for (const DemoPhoto& photo : demo_photos(seed)) {
        if (!photo.present) continue;
        write_portrait((root / photo.file_path_relative).string(), photo.width, photo.height, photo.portrait_seed,
                       photo.format.c_str());
    }

    // The process id keeps two runs into one folder apart; a file of this name
    // is what a run of ours with the same id left when it died.
    const fs::path unfinished = root / (".demo-" + std::to_string(::getpid()) + ".mdb.tmp");
    fs::remove(unfinished);
    try {
        write_database(unfinished, demo_rows(seed));
        publish(unfinished, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove(unfinished, ignored);
        throw;
    }
}

}  // namespace regtool
