// Changing an index's B-tree. Pages are decoded once per write group and kept
// in memory while entries are added and removed; empty pages leave the tree;
// flush() encodes the changed pages with their shared prefix compressed. The
// root page keeps its number: when it splits, its entries move down into a new
// page beneath it.
//
// Any page may be as full as its writer left it (Access and other programs
// pack pages to the last bytes), so every change that can make a page's
// encoded form longer is followed by splitting that page until it fits: a new
// entry, and also a node entry replaced by its child's new last entry, or the
// shared prefix of a page shrinking.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "btree/index.h"
#include "storage/page_file.h"
#include "jet/table_def.h"

namespace jet {

class IndexTree {
public:
    using Allocate = std::function<std::uint32_t()>;
    using Release = std::function<void(std::uint32_t)>;

    IndexTree(PageFile& file, std::uint32_t table_page, std::uint32_t root, Allocate allocate, Release release);

    // Whether any entry has exactly this key (whatever its row).
    bool contains_key(const std::vector<std::uint8_t>& key);
    // The rows of every entry with exactly this key.
    std::vector<RowId> find(const std::vector<std::uint8_t>& key);
    void insert(const IndexEntry& e);
    // The entry leaves the tree before the tree is next used (or flushed):
    // many removes are carried out together. Raises Damaged then when the
    // entry is not there.
    void remove(const IndexEntry& e);
    // Writes every changed page into the file's write group.
    void flush();

    // An empty leaf page for a new index's root.
    static PageData empty_root(std::uint32_t table_page);
    // Bytes available to entries on one page.
    static constexpr std::size_t kRoom = kPageSize - 0x1E0;

private:
    struct Entry {
        IndexEntry e;
        std::uint32_t child = 0;
        bool known = true;  // a node's tail child has no stored entry
    };
    struct Node {
        bool leaf = true;
        std::vector<Entry> entries;
        std::uint32_t prev = 0;
        std::uint32_t next = 0;
        std::uint32_t parent = 0;  // 0: the root, or not reached from above
        bool dirty = false;
        // The entries' sizes added up (a node's tail included), kept by
        // insert and remove and counted afresh after any other change.
        mutable std::size_t sum = 0;
        mutable bool sum_known = false;

        void changed() {
            dirty = true;
            sum_known = false;
        }
    };

    Node& load(std::uint32_t page);
    void apply_removals();
    std::size_t child_index(const Node& n, const IndexEntry& e) const;
    std::uint32_t descend(const IndexEntry& e);
    void raise_max(std::uint32_t page);
    void split(std::uint32_t page);
    void unlink(std::uint32_t page);
    std::size_t position_in_parent(const Node& parent, std::uint32_t child) const;
    bool fits(const Node& n) const;
    static std::size_t shared_prefix(const Entry& a, const Entry& b, bool leaf);
    std::size_t encoded_size(const Node& n, const std::vector<std::size_t>& sums, std::size_t from, std::size_t to) const;
    std::size_t page_size(const Node& n) const;
    std::size_t split_point(const Node& n) const;
    void settle(std::uint32_t page);
    IndexEntry subtree_max(std::uint32_t page);
    void set_parents(std::uint32_t page);
    PageData encode(std::uint32_t page, Node& n);

    PageFile& file_;
    std::uint32_t table_page_;
    std::uint32_t root_;
    Allocate allocate_;
    Release release_;
    std::unordered_map<std::uint32_t, Node> nodes_;
    std::vector<IndexEntry> doomed_;  // removed, not yet taken out
};

}  // namespace jet
