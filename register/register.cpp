#include "register.h"

#include <QChar>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace reg {

namespace {

const QString kJetDataSource = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");

// A stored name that starts at a root of its own rather than in the database
// folder: "/x", "\x", "\\server\x", or a drive such as "C:" or "C:\x".
bool starts_at_root(const QString& name) {
    if (name.startsWith(u'/') || name.startsWith(u'\\')) return true;
    if (name.size() >= 2 && name[1] == u':') {
        const char16_t c = name[0].unicode();
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return true;
    }
    return false;
}

// The stored name as path components below the database folder, or nothing
// when the name must not be followed: empty, rooted elsewhere, climbing out
// with "..", naming a folder (a trailing separator) or holding a NUL, which
// would cut the path short on its way to the system.
std::optional<QStringList> components_of(const QString& stored_name) {
    if (stored_name.isEmpty() || starts_at_root(stored_name) || stored_name.contains(QChar(u'\0'))) return std::nullopt;
    QString name = stored_name;
    name.replace(u'\\', u'/');
    const QStringList parts = name.split(u'/', Qt::KeepEmptyParts);
    QStringList kept;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const bool last = i + 1 == parts.size();
        if (part == QLatin1String("..")) return std::nullopt;
        if (part.isEmpty() || part == QLatin1String(".")) {
            if (last) return std::nullopt;  // a folder, not a file
            continue;                       // "a\\b" and "a\.\b" both mean "a\b"
        }
        kept.append(part);
    }
    if (kept.isEmpty()) return std::nullopt;
    return kept;
}

bool is_folder(const QString& path) {
    return QFileInfo(path).isDir();
}

// Entries of a folder whose names equal `name` but for letter case, the exact
// one first, the rest in name order.
QStringList case_variants(const QString& folder, const QString& name) {
    QStringList found;
    const QDir dir(folder.isEmpty() ? QStringLiteral("/") : folder);
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0) continue;
        if (entry == name)
            found.prepend(entry);
        else
            found.append(entry);
    }
    return found;
}

// Walks the components down from `folder`, trying every folder that matches a
// component but for case, so that a wrong guess at one level does not hide
// the file under another spelling of the same folder.
QString walk(const QString& folder, const QStringList& components, qsizetype index) {
    const bool last = index + 1 == components.size();
    const QString& component = components[index];

    const QString exact = folder + u'/' + component;
    if (last ? is_ordinary_file(exact) : is_folder(exact)) {
        if (last) return exact;
        const QString below = walk(exact, components, index + 1);
        if (!below.isEmpty()) return below;
    }
    for (const QString& entry : case_variants(folder, component)) {
        if (entry == component) continue;  // tried above
        const QString candidate = folder + u'/' + entry;
        if (last) {
            if (is_ordinary_file(candidate)) return candidate;
        } else if (is_folder(candidate)) {
            const QString below = walk(candidate, components, index + 1);
            if (!below.isEmpty()) return below;
        }
    }
    return {};
}

}  // namespace

QString viewer_connection_string(const QString& database_path) {
    return kJetDataSource + database_path + QStringLiteral(";Jet OLEDB:Database Password=");
}

QString browser_connection_string(const QString& database_path) {
    return kJetDataSource + database_path + QStringLiteral(";Persist Security Info=False");
}

QString database_folder(const QString& database_path) {
    const qsizetype slash = database_path.lastIndexOf(u'/');
    return slash < 0 ? QString() : database_path.left(slash);
}

bool is_ordinary_file(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    // QFileInfo follows symbolic links and counts only regular files as files:
    // folders, devices, pipes and sockets are not.
    return info.isFile() && !info.fileName().startsWith(u'.');
}

// The folder "" is the root, as database_folder gives it for a file directly
// under "/"; the name is joined to it with "/" either way.
QString find_photo(const QString& database_folder, const QString& stored_name) {
    const std::optional<QStringList> components = components_of(stored_name);
    if (!components) return {};

    QString exact = stored_name;
    exact.replace(u'\\', u'/');
    exact = database_folder + u'/' + exact;
    if (is_ordinary_file(exact)) return exact;

    return walk(database_folder, *components, 0);
}

}  // namespace reg
