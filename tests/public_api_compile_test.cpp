// The engine's public face as the layers above see it, checked by the
// compiler: built with the public folder alone on the include path, this
// file compiles only while the engine's insides (its page file, header,
// catalog, page allocator and byte access) stay out of reach. Each "not
// offered" check is asked of a template parameter, so that a missing member
// is an answer rather than an error; what the layers above do rely on is
// checked beside it, so that no check passes because it names the wrong type.
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/durable_file.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "jet/relationships.h"
#include "jet/row_id.h"
#include "jet/row_listing.h"
#include "jet/table.h"
#include "jet/table_def.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "jet/value.h"

// Byte access and the inside view are the engine's own headers.
#if __has_include("jet/bytes.h") || __has_include("jet/database_insides.h") || __has_include("jet/disk.h") || __has_include("jet/page_file.h") || __has_include("storage/page_file.h") || __has_include("table/database_insides.h")
#error "an engine header is among the public ones"
#endif

namespace {

// An open database: tables, paths and locks, never its file, header or catalog.
template <typename D>
constexpr bool shows_file = requires(D& d) { d.file(); };
template <typename D>
constexpr bool shows_header = requires(const D& d) { d.header(); };
template <typename D>
constexpr bool shows_catalog = requires(const D& d) { d.catalog(); };
template <typename D>
constexpr bool opens_tables = requires(D& d, std::string_view name) {
    d.table(name);
    d.user_tables();
    d.real_path();
    d.journal_path();
};
static_assert(!shows_file<jet::Database>);
static_assert(!shows_header<jet::Database>);
static_assert(!shows_catalog<jet::Database>);
static_assert(opens_tables<jet::Database>);

// A write group: its tables' writers and its commit, never its pages or file,
// and only create_table tells it of a table it made.
template <typename G>
constexpr bool shows_pages = requires(G& g) { g.pages(); };
template <typename G>
constexpr bool takes_made_tables = requires(G& g, const std::string& name) { g.table_created(name, std::uint32_t{1}); };
template <typename G>
constexpr bool writes_tables = requires(G& g, std::string_view name) {
    { g.table(name) } -> std::same_as<jet::TableWriter&>;
    g.prepare();
    g.commit();
};
static_assert(!shows_file<jet::WriteGroup>);
static_assert(!shows_pages<jet::WriteGroup>);
static_assert(!takes_made_tables<jet::WriteGroup>);
static_assert(writes_tables<jet::WriteGroup>);
static_assert(std::is_constructible_v<jet::WriteGroup, jet::Database&>);

// A table writer is had only from its group, which alone sets its guard and finishes it.
static_assert(!std::is_constructible_v<jet::TableWriter, jet::PageFile&, jet::PageAllocator&, std::uint32_t, std::uint16_t>);
static_assert(!std::is_default_constructible_v<jet::TableWriter>);
static_assert(!std::is_copy_constructible_v<jet::TableWriter>);
static_assert(!std::is_move_constructible_v<jet::TableWriter>);
template <typename W>
constexpr bool takes_guard = requires(W& w) { w.set_guard(nullptr); };
template <typename W>
constexpr bool finishes = requires(W& w) { w.finish(); };
template <typename W>
constexpr bool removes_related = requires(W& w) { w.remove_related(jet::RowId{}); };
template <typename W>
constexpr bool changes_rows = requires(W& w, std::vector<jet::Value>& row) {
    { w.insert(row) } -> std::same_as<jet::RowId>;
    w.remove(jet::RowId{});
    w.read(jet::RowId{});
};
static_assert(!takes_guard<jet::TableWriter>);
static_assert(!finishes<jet::TableWriter>);
static_assert(!removes_related<jet::TableWriter>);
static_assert(changes_rows<jet::TableWriter>);

// Text is decoded from plain byte spans.
static_assert(std::is_invocable_r_v<std::string, decltype(&jet::decode_text), std::span<const std::uint8_t>>);

// A durable file is made, moved and closed, never copied.
static_assert(std::is_same_v<decltype(jet::DurableFile::make_beside(std::string{}, std::string{})), std::optional<jet::DurableFile>>);
static_assert(std::is_nothrow_move_constructible_v<jet::DurableFile>);
static_assert(!std::is_copy_constructible_v<jet::DurableFile>);
static_assert(!std::is_default_constructible_v<jet::DurableFile>);

}  // namespace

int main() { return 0; }
