#include "logic/register.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "jet/files.h"
#include "system/utf8_path.h"
#include "jet/text.h"

namespace reg {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kJetDataSource = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

// A stored name that starts at a root of its own rather than in the database
// folder: "/x", "\x", "\\server\x", or a drive such as "C:" or "C:\x".
bool starts_at_root(std::string_view name) {
    if (name.starts_with('/') || name.starts_with('\\')) return true;
    if (name.size() >= 2 && name[1] == ':') {
        const char c = name[0];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    }
    return false;
}

// The stored name as path components below the database folder, or nothing
// when the name must not be followed: empty, rooted elsewhere, climbing out
// with "..", naming a folder (a trailing separator) or holding a NUL, which
// would cut the path short on its way to the system.
std::optional<std::vector<std::string>> components_of(const std::string& stored_name) {
    if (stored_name.empty() || starts_at_root(stored_name) || stored_name.find('\0') != std::string::npos) return std::nullopt;
    std::vector<std::string> kept;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = stored_name.find_first_of("/\\", from);
        const bool last = end == std::string::npos;
        const std::string part = stored_name.substr(from, last ? std::string::npos : end - from);
        if (part == "..") return std::nullopt;
        if (part.empty() || part == ".") {
            if (last) return std::nullopt;  // a folder, not a file
        } else {
            kept.push_back(part);           // "a\\b" and "a\.\b" both mean "a\b"
        }
        if (last) break;
        from = end + 1;
    }
    if (kept.empty()) return std::nullopt;
    return kept;
}

bool is_folder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(sys::path_from_utf8(path), ec);
}

// Entries of a folder whose names equal `name` but for letter case, other than
// `name` itself, in name order.
std::vector<std::string> case_variants(const std::string& folder, const std::string& name) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(sys::path_from_utf8(folder.empty() ? std::string("/") : folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (entry != name && jet::same_name(entry, name)) found.push_back(std::move(entry));
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Walks the components down from `folder`, trying every folder that matches a
// component but for case, so that a wrong guess at one level does not hide
// the file under another spelling of the same folder.
std::string walk(const std::string& folder, const std::vector<std::string>& components, std::size_t index) {
    const bool last = index + 1 == components.size();
    const std::string& component = components[index];

    const std::string exact = folder + '/' + component;
    if (last ? is_ordinary_file(exact) : is_folder(exact)) {
        if (last) return exact;
        std::string below = walk(exact, components, index + 1);
        if (!below.empty()) return below;
    }
    for (const std::string& entry : case_variants(folder, component)) {
        const std::string candidate = folder + '/' + entry;
        if (last) {
            if (is_ordinary_file(candidate)) return candidate;
        } else if (is_folder(candidate)) {
            std::string below = walk(candidate, components, index + 1);
            if (!below.empty()) return below;
        }
    }
    return {};
}

}  // namespace

std::string viewer_connection_string(std::string_view database_path) {
    return std::string(kJetDataSource).append(database_path).append(";Jet OLEDB:Database Password=");
}

std::string browser_connection_string(std::string_view database_path) {
    return std::string(kJetDataSource).append(database_path).append(";Persist Security Info=False");
}

std::string database_folder(std::string_view database_path) {
    const std::size_t slash = database_path.find_last_of(jet::disk::kPathSeparators);
    return slash == std::string_view::npos ? std::string() : std::string(database_path.substr(0, slash));
}

bool is_ordinary_file(const std::string& path) {
    if (path.empty()) return false;
    // status follows symbolic links; only regular files count: folders,
    // devices, pipes and sockets do not.
    std::error_code ec;
    return fs::is_regular_file(fs::status(sys::path_from_utf8(path), ec)) && path[jet::disk::name_start(path)] != '.';
}

// The folder "" is the root, as database_folder gives it for a file directly
// under "/"; the name is joined to it with "/" either way.
std::string find_photo(const std::string& database_folder, const std::string& stored_name) {
    const std::optional<std::vector<std::string>> components = components_of(stored_name);
    if (!components) return {};

    std::string exact = stored_name;
    std::replace(exact.begin(), exact.end(), '\\', '/');
    exact = database_folder + '/' + exact;
    if (is_ordinary_file(exact)) return exact;

    return walk(database_folder, *components, 0);
}

}  // namespace reg
