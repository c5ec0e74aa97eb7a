#include "demo.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "demo_data.h"
#include "demo_images.h"
#include "say.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"
#include "system/process.h"
#include "system/utf8_path.h"

namespace regtool {
namespace {

namespace fs = std::filesystem;

std::runtime_error already_there(const fs::path& target) {
    const std::string name = sys::utf8_of(target);
    return std::runtime_error(say("«" + name + "» уже существует; демонстрационный реестр записывается только туда, где его нет",
                                  name + " already exists; the demo register is only written where there is none"));
}

// Gives the finished file its final name, unless a file of that name has
// appeared meanwhile: a hard link refuses to replace one, a rename would not.
void publish(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (!ec) {
        fs::remove(from);
        return;
    }
    // The link was refused because the name is taken, or the file system has
    // no hard links: then look, and rename.
    if (fs::exists(to)) throw already_there(to);
    fs::rename(from, to);
}

void write_database(const fs::path& path, std::vector<std::vector<jet::Value>> rows) {
    jet::create_database(sys::utf8_of(path));
    jet::Database db(sys::utf8_of(path));
    reg::create_register_table(db);
    jet::WriteGroup group(db);
    jet::TableWriter& table = group.table("ЗУРТ");
    for (std::vector<jet::Value>& row : rows) table.insert(row);
    group.commit();
}

}  // namespace

void write_demo(const std::string& dir, std::uint32_t seed) {
    const fs::path root = sys::path_from_utf8(dir);
    const fs::path target = root / "demo.mdb";
    if (fs::exists(target)) throw already_there(target);
    // Nothing is made when the photos cannot be drawn.
    check_portraits_drawable();
    fs::create_directories(root / "foto");

    for (const DemoPhoto& photo : demo_photos(seed)) {
        if (!photo.present) continue;
        write_portrait(sys::utf8_of(root / sys::path_from_utf8(photo.file_path_relative)), photo.width, photo.height, photo.portrait_seed,
                       photo.format.c_str());
    }

    // The process id keeps two runs into one folder apart; a file of this name
    // is what a run of ours with the same id left when it died.
    const fs::path unfinished = root / (".demo-" + std::to_string(sys::process_id()) + ".mdb.tmp");
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
