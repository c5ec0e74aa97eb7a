#include "jet/database.h"

#include <optional>
#include <string_view>

#include "table/catalog.h"
#include "storage/free_pages.h"
#include "format/header.h"
#include "storage/page_file.h"
#include "jet/platform.h"
#include "table/relations.h"
#include "format/table_def_read.h"
#include "jet/text.h"
#include "table/database_insides.h"
#include "table/file_named.h"

namespace jet {

Database::Database(const std::string& path, std::optional<std::chrono::milliseconds> lock_wait, Platform& platform) try
    : file_(std::make_shared<PageFile>(path, platform)) {
    if (lock_wait) file_->set_lock_wait(*lock_wait);
    FileLock lock(*file_, false);
    header_ = std::make_unique<Header>(read_header(*file_));
    catalog_ = std::make_unique<std::vector<CatalogEntry>>(read_catalog(file_));
} catch (Error& e) {
    e.about_file(path);  // raised again as it is
}

Database::~Database() = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

const std::string& Database::path() const { return file_->path(); }
const std::string& Database::real_path() const { return file_->real_path(); }
void Database::set_lock_wait(std::chrono::milliseconds wait) { file_->set_lock_wait(wait); }
std::chrono::milliseconds Database::lock_wait() const { return file_->lock_wait(); }
void Database::let_waiting_programs_in(std::chrono::milliseconds at_most) {
    on_file(path(), [&] { file_->let_waiting_programs_in(at_most); });
}
void Database::take_turns() {
    on_file(path(), [&] { file_->take_turns(); });
}
const std::string& Database::journal_warning() const { return file_->journal_warning(); }
std::string Database::journal_path() const { return file_->journal_path(); }
void Database::check_still_at_path() const {
    on_file(path(), [&] { file_->check_still_at_path(); });
}

DatabaseLock::DatabaseLock(Database& db, bool exclusive)
    : lock_(on_file(db.path(), [&] { return std::make_unique<FileLock>(file_of(db), exclusive); })) {}
DatabaseLock::~DatabaseLock() = default;

std::vector<std::string> Database::user_tables() const {
    std::vector<std::string> names;
    for (const CatalogEntry& e : *catalog_) {
        if (e.is_table() && !e.is_system()) names.push_back(e.name);
    }
    return names;
}

const CatalogEntry* Database::find(std::string_view name) const {
    const CatalogEntry* folded = nullptr;
    for (const CatalogEntry& e : *catalog_) {
        if (!e.is_table()) continue;
        if (e.name == name) return &e;
        if (!folded && same_name(e.name, name)) folded = &e;
    }
    return folded;
}

void Database::reload_catalog() {
    FileLock lock(*file_, false);
    *catalog_ = read_catalog(file_);
}

bool Database::has_table(std::string_view name) const { return find(name) != nullptr; }

Table Database::table(std::string_view name) {
    return on_file(path(), [&] {
        const CatalogEntry* e = find(name);
        if (!e) throw Error(ErrorKind::NoSuchTable, "no table named " + std::string(name) + " in " + path());
        FileLock lock(*file_, false);
        return Table(file_, e->name, read_table_def(*file_, e->definition_page()));
    });
}

namespace {

// Whether a name is well-formed UTF-8 (as every name Windows gives is).
bool utf8_name(std::string_view name) {
    std::string again;
    for (char32_t c : utf8_to_utf32(name)) append_utf8(again, c);
    return again == name;
}

// Equal bytes, the case of ASCII letters aside.
bool same_ascii_letters_aside(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Whether two file names are one name to Windows, which sets letter case
// aside (Unicode's simple case folding stands in for its table of capitals;
// where the two differ, in a few letters outside the Cyrillic and Latin
// alphabets, a name matches more rather than less). Names that are not
// UTF-8 cannot have come from Windows: their bytes must agree, ASCII letter
// case aside.
bool same_file_name(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return utf8_name(a) && utf8_name(b) ? same_name(a, b) : same_ascii_letters_aside(a, b);
}

// Whether the folder of path finds files whatever the letter case of their
// names (a Windows share, a FAT disk): the file itself is found under its
// name with each ASCII letter's case swapped. A name without letters tells
// nothing, and counts as no.
bool case_blind_folder(Platform& sys, const std::string& path) {
    const std::size_t from = disk::name_start(path);
    std::string swapped = path;
    for (std::size_t i = from; i < swapped.size(); ++i) {
        char& c = swapped[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    FileFacts as_named, as_swapped;
    return swapped != path && sys.facts_of(path, false, as_named) && sys.facts_of(swapped, false, as_swapped) &&
           as_named.id() == as_swapped.id();
}

// The lock file Access keeps beside the database at path (as named there, a
// link not followed): "<name>.ldb" after the name Access was given, which
// Windows matches whatever the letter case. Its path, or nothing.
std::optional<std::string> access_lock_file_beside(Platform& sys, const std::string& path) {
    const std::size_t from = disk::name_start(path);
    const std::string folder = path.substr(0, from);  // "" or ending in a separator
    const std::size_t dot = path.find_last_of('.');
    const std::string stem = path.substr(from, dot != std::string::npos && dot >= from ? dot - from : std::string::npos);
    // The names as Access writes them, and any name on a folder that finds
    // names whatever their case, with a lookup each.
    for (const char* ext : {".ldb", ".LDB"}) {
        FileFacts st;
        if (sys.facts_of(folder + stem + ext, false, st)) return folder + stem + ext;
    }
    if (case_blind_folder(sys, path)) return std::nullopt;
    // Elsewhere only the folder's list tells. Most names are passed over by
    // their last four bytes: no letter beyond ASCII folds to ".ldb"'s.
    const std::string wanted = stem + ".ldb";
    std::optional<std::string> found;
    sys.list_folder(folder.empty() ? "." : folder, [&](std::string_view name) {
        if (name.size() < 4 || !same_ascii_letters_aside(name.substr(name.size() - 4), ".ldb") || !same_file_name(name, wanted)) return true;
        found = folder + std::string(name);
        return false;
    });
    return found;
}

// Access keeps "<name>.ldb" beside a database while it has it open (and leaves
// it behind when it is ended without closing). Its own locks are byte ranges
// our locks may not see (another machine, another locking scheme), so the
// file is the sign that counts. It lies beside the name Access opened, which
// may be a link to the file or the file itself: both are looked at.
void refuse_if_open_in_access(Platform& sys, const std::string& real_path, const std::string& path) {
    std::optional<std::string> ldb = access_lock_file_beside(sys, real_path);
    // The name given is looked at too unless it is the same name in the same
    // folder (a path relative to the working folder, say).
    auto name_of = [](const std::string& p) { return p.substr(disk::name_start(p)); };
    FileFacts given_folder, real_folder;
    const bool same_place = name_of(path) == name_of(real_path) && sys.facts_of(disk::folder_of(path), true, given_folder) &&
                            sys.facts_of(disk::folder_of(real_path), true, real_folder) && given_folder.id() == real_folder.id();
    if (!ldb && !same_place) ldb = access_lock_file_beside(sys, path);
    if (ldb) {
        throw Error(ErrorKind::Busy,
                    "the database " + path + " is open in Access (its lock file " + *ldb +
                        " lies beside it); changes are refused, reading goes on. If nobody has it open, the lock file may be deleted",
                    Reason::OpenInAccess, *ldb);
    }
}

}  // namespace

WriteGroup::WriteGroup(Database& db) try : db_(db) {
    refuse_if_open_in_access(file_of(db_).platform(), file_of(db_).real_path(), db_.path());
    file_of(db_).enable_writes();
    file_of(db_).lock(true);
    open_ = true;
    // What was read at opening must still hold: a file whose header was
    // overwritten since (by another program, or damage) takes no writes.
    try {
        const Header now = read_header(file_of(db_));
        const Header& then = *db_.header_;
        if (now.code_page != then.code_page || now.sort_order != then.sort_order || now.sort_version != then.sort_version) {
            damaged("the header page changed while the file was open");
        }
    } catch (const Error& e) {
        file_of(db_).unlock();
        open_ = false;
        if (e.kind() == ErrorKind::Damaged) throw;
        damaged(std::string("the header page no longer holds a database header (") + e.what() + ")");
    }
    pages_ = std::make_unique<PageAllocator>(file_of(db_));
} catch (Error& e) {
    e.about_file(db.path());  // raised again as it is
}

WriteGroup::~WriteGroup() {
    tables_.clear();
    pages_.reset();
    if (open_) {
        file_of(db_).rollback();
        file_of(db_).unlock();
    }
}

TableWriter& WriteGroup::table(std::string_view name) {
    return on_file(db_.path(), [&]() -> TableWriter& { return writer_of(name); });
}

TableWriter& WriteGroup::writer_of(std::string_view name) {
    for (const auto& [n, page] : created_) {
        if (same_name(n, name)) return writer_at(page);
    }
    const CatalogEntry* e = db_.find(name);
    if (!e) throw Error(ErrorKind::NoSuchTable, "no table named " + std::string(name) + " in " + db_.path());
    return writer_at(e->definition_page());
}

TableWriter& WriteGroup::table_at(std::uint32_t definition_page) {
    return on_file(db_.path(), [&]() -> TableWriter& { return writer_at(definition_page); });
}

TableWriter& WriteGroup::writer_at(std::uint32_t definition_page) {
    if (!open_) internal_fault("the write group has ended");
    if (prepared_) internal_fault("a table changed after its write group was prepared");
    for (auto& [page, w] : tables_) {
        if (page == definition_page) return *w;
    }
    tables_.emplace_back(definition_page, make_table_writer(file_of(db_), *pages_, definition_page, header_of(db_).sort_order));
    TableWriter& writer = *tables_.back().second;
    if (!guard_read_ && keep_relationships_) {
        guard_read_ = true;
        std::vector<Relationship> relationships = read_relationships(db_);
        if (!relationships.empty()) guard_ = std::make_unique<RelationGuard>(*this, std::move(relationships));
    }
    writer.set_guard(keep_relationships_ ? guard_.get() : nullptr);
    return writer;
}

std::uint32_t WriteGroup::definition_page_of(std::string_view name) const {
    for (const auto& [n, page] : created_) {
        if (same_name(n, name)) return page;
    }
    const CatalogEntry* e = db_.find(name);
    return e ? e->definition_page() : 0;
}

bool WriteGroup::has_table(std::string_view name) const {
    for (const auto& [n, page] : created_) {
        if (same_name(n, name)) return true;
    }
    return db_.has_table(name);
}

void WriteGroup::table_created(const std::string& name, std::uint32_t definition_page) {
    created_.emplace_back(name, definition_page);
}

void WriteGroup::prepare() {
    on_file(db_.path(), [&] { prepare_tables(); });
}

void WriteGroup::prepare_tables() {
    if (!open_ || prepared_) return;
    for (auto& [page, w] : tables_) w->finish();
    pages_->finish();
    prepared_ = true;
}

void WriteGroup::stage() {
    on_file(db_.path(), [&] {
        if (!open_) return;
        prepare_tables();
        file_of(db_).stage_journal();
    });
}

void WriteGroup::commit() {
    on_file(db_.path(), [&] { write_out(); });
}

void WriteGroup::write_out() {
    if (!open_) return;
    prepare_tables();
    file_of(db_).commit();
    tables_.clear();
    open_ = false;
    if (!created_.empty()) {
        try {
            db_.reload_catalog();
        } catch (...) {
            file_of(db_).unlock();
            throw;
        }
    }
    file_of(db_).unlock();
}

}  // namespace jet
