#include "index_tree.h"

#include <algorithm>

namespace jet {

namespace {

constexpr std::size_t kPointer = 4;  // row pointer after the key; a node entry adds its child page

std::size_t entry_size(const IndexEntry& e, bool leaf) { return e.key.size() + kPointer + (leaf ? 0 : 4); }

void append_entry(std::vector<std::uint8_t>& out, const IndexEntry& e, bool leaf, std::uint32_t child) {
    out.insert(out.end(), e.key.begin(), e.key.end());
    out.push_back(static_cast<std::uint8_t>(e.row.page >> 16));
    out.push_back(static_cast<std::uint8_t>(e.row.page >> 8));
    out.push_back(static_cast<std::uint8_t>(e.row.page));
    out.push_back(static_cast<std::uint8_t>(e.row.row));
    if (!leaf) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(child >> s));
    }
}

void put16(PageData& p, std::size_t at, std::uint32_t v) {
    p[at] = static_cast<std::uint8_t>(v);
    p[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(PageData& p, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void page_header(PageData& p, bool leaf, std::uint32_t table_page) {
    p.fill(0);
    p[0] = static_cast<std::uint8_t>(leaf ? PageType::IndexLeaf : PageType::IndexNode);
    p[1] = 0x01;
    put32(p, index_page::kOwner, table_page);
}

}  // namespace

IndexTree::IndexTree(PageFile& file, std::uint32_t table_page, std::uint32_t root, Allocate allocate, Release release)
    : file_(file), table_page_(table_page), root_(root), allocate_(std::move(allocate)), release_(std::move(release)) {}

PageData IndexTree::empty_root(std::uint32_t table_page) {
    PageData p{};
    page_header(p, true, table_page);
    put16(p, 2, static_cast<std::uint32_t>(kRoom));
    return p;
}

IndexTree::Node& IndexTree::load(std::uint32_t page) {
    if (auto it = nodes_.find(page); it != nodes_.end()) return it->second;
    IndexPage ip = read_index_page(file_, table_page_, page);
    Node n;
    n.leaf = ip.leaf;
    n.prev = ip.prev;
    n.next = ip.next;
    n.entries.reserve(ip.entries.size() + 1);
    for (std::size_t i = 0; i < ip.entries.size(); ++i) {
        Entry e;
        e.e = std::move(ip.entries[i]);
        if (!n.leaf) e.child = ip.children[i];
        n.entries.push_back(std::move(e));
    }
    if (!n.leaf && ip.tail != 0 && (n.entries.empty() || n.entries.back().child != ip.tail)) {
        Entry t;
        t.child = ip.tail;
        t.known = false;
        n.entries.push_back(std::move(t));
    }
    if (!n.leaf && n.entries.empty()) damaged("index node page " + std::to_string(page) + " has no children");
    return nodes_.emplace(page, std::move(n)).first->second;
}

// The child whose range holds e: the first whose last entry is not below e.
std::size_t IndexTree::child_index(const Node& n, const IndexEntry& e) const {
    auto it = std::lower_bound(n.entries.begin(), n.entries.end(), e, [](const Entry& a, const IndexEntry& b) {
        return a.known && a.e < b;
    });
    std::size_t i = static_cast<std::size_t>(it - n.entries.begin());
    return std::min(i, n.entries.size() - 1);
}

std::uint32_t IndexTree::descend(const IndexEntry& e) {
    std::uint32_t page = root_;
    load(page).parent = 0;
    for (int depth = 0;; ++depth) {
        Node& n = load(page);
        if (n.leaf) return page;
        if (depth > 32) damaged("an index tree is deeper than any real one");
        std::uint32_t child = n.entries[child_index(n, e)].child;
        if (child == 0 || child == root_) damaged("an index node points at page " + std::to_string(child));
        load(child).parent = page;
        page = child;
    }
}

std::size_t IndexTree::position_in_parent(const Node& parent, std::uint32_t child) const {
    for (std::size_t i = 0; i < parent.entries.size(); ++i) {
        if (parent.entries[i].child == child) return i;
    }
    damaged("an index page is missing from its parent");
}

// After the last entry of a page changed, the entries above that stand for it follow.
void IndexTree::raise_max(std::uint32_t page) {
    Node* n = &load(page);
    if (n->entries.empty()) return;
    IndexEntry max = n->entries.back().e;
    if (!n->entries.back().known) return;
    while (n->parent != 0) {
        std::uint32_t parent_page = n->parent;
        Node& parent = load(parent_page);
        std::size_t i = position_in_parent(parent, page);
        Entry& pe = parent.entries[i];
        if (!pe.known || !(pe.e == max)) {
            pe.e = max;
            pe.known = true;
            parent.dirty = true;
        }
        if (i + 1 != parent.entries.size()) return;
        page = parent_page;
        n = &parent;
    }
}

bool IndexTree::contains_key(const std::vector<std::uint8_t>& key) {
    IndexEntry probe{key, RowId{0, 0}};
    std::uint32_t page = descend(probe);
    for (int hops = 0; page != 0 && hops < 2; ++hops) {
        Node& n = load(page);
        auto it = std::lower_bound(n.entries.begin(), n.entries.end(), probe,
                                   [](const Entry& a, const IndexEntry& b) { return a.e < b; });
        if (it != n.entries.end()) return it->e.key == key;
        page = n.next;  // the first key at or above lies on the next leaf
    }
    return false;
}

void IndexTree::insert(const IndexEntry& e) {
    std::uint32_t page = descend(e);
    Node& n = load(page);
    auto it = std::lower_bound(n.entries.begin(), n.entries.end(), e,
                               [](const Entry& a, const IndexEntry& b) { return a.e < b; });
    if (it != n.entries.end() && it->e == e) damaged("an index already holds the entry being added");
    bool last = it == n.entries.end();
    n.entries.insert(it, Entry{e, 0, true});
    n.dirty = true;
    if (last) raise_max(page);
    if (!fits(n)) split(page);
}

void IndexTree::remove(const IndexEntry& e) {
    std::uint32_t page = descend(e);
    Node& n = load(page);
    auto it = std::lower_bound(n.entries.begin(), n.entries.end(), e,
                               [](const Entry& a, const IndexEntry& b) { return a.e < b; });
    if (it == n.entries.end() || !(it->e == e)) damaged("an index lacks the entry of a row being changed");
    bool last = it + 1 == n.entries.end();
    n.entries.erase(it);
    n.dirty = true;
    if (n.entries.empty()) {
        if (page != root_) unlink(page);
    } else if (last) {
        raise_max(page);
    }
}

// Takes an empty page out of the tree and gives it back to the file.
void IndexTree::unlink(std::uint32_t page) {
    Node n = std::move(load(page));
    nodes_.erase(page);
    if (n.prev != 0) {
        Node& p = load(n.prev);
        p.next = n.next;
        p.dirty = true;
    }
    if (n.next != 0) {
        Node& x = load(n.next);
        x.prev = n.prev;
        x.dirty = true;
    }
    release_(page);
    std::uint32_t parent_page = n.parent;
    if (parent_page == 0) damaged("an index page is not reachable from the root");
    Node& parent = load(parent_page);
    std::size_t i = position_in_parent(parent, page);
    bool last = i + 1 == parent.entries.size();
    parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(i));
    parent.dirty = true;
    if (parent.entries.empty()) {
        if (parent_page != root_) {
            unlink(parent_page);
        } else {
            parent.leaf = true;  // the whole tree is empty again
        }
    } else if (last) {
        raise_max(parent_page);
    }
}

bool IndexTree::fits(const Node& n) {
    std::size_t total = 0;
    std::size_t written = n.leaf || n.entries.size() <= 1 ? n.entries.size() : n.entries.size() - 1;
    for (std::size_t i = 0; i < written; ++i) total += entry_size(n.entries[i].e, n.leaf);
    if (total <= kRoom) return true;
    if (written < 2) return true;  // a single entry always fits: keys are at most 255 bytes
    // The bytes the first and last written entries share are stored once.
    std::vector<std::uint8_t> a, b;
    append_entry(a, n.entries[0].e, n.leaf, n.entries[0].child);
    append_entry(b, n.entries[written - 1].e, n.leaf, n.entries[written - 1].child);
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    return total - prefix * (written - 1) <= kRoom;
}

void IndexTree::set_parents(std::uint32_t page) {
    Node& n = load(page);
    if (n.leaf) return;
    for (const Entry& c : n.entries) {
        if (auto it = nodes_.find(c.child); it != nodes_.end()) it->second.parent = page;
    }
}

void IndexTree::split(std::uint32_t page) {
    if (page == root_) {
        // The root keeps its page: its entries move into a new page below it.
        std::uint32_t below = allocate_();
        Node& root = load(root_);
        Node moved;
        moved.leaf = root.leaf;
        moved.entries = std::move(root.entries);
        moved.parent = root_;
        moved.dirty = true;
        Entry up;
        up.child = below;
        up.known = moved.entries.back().known;
        up.e = moved.entries.back().e;
        root.leaf = false;
        root.entries.clear();
        root.entries.push_back(std::move(up));
        root.dirty = true;
        nodes_.emplace(below, std::move(moved));
        set_parents(below);
        page = below;
    }
    std::uint32_t fresh = allocate_();
    Node& orig = load(page);
    std::size_t half = (orig.entries.size() + 1) / 2;
    Node head;
    head.leaf = orig.leaf;
    head.entries.assign(std::make_move_iterator(orig.entries.begin()),
                        std::make_move_iterator(orig.entries.begin() + static_cast<std::ptrdiff_t>(half)));
    orig.entries.erase(orig.entries.begin(), orig.entries.begin() + static_cast<std::ptrdiff_t>(half));
    head.parent = orig.parent;
    head.prev = orig.prev;
    head.next = page;
    head.dirty = true;
    orig.prev = fresh;
    orig.dirty = true;
    std::uint32_t parent_page = orig.parent;
    bool children_are_nodes = false;
    std::uint32_t first_of_orig = orig.leaf ? 0 : orig.entries.front().child;
    IndexEntry head_max = head.entries.back().e;
    std::uint32_t last_of_head = head.leaf ? 0 : head.entries.back().child;
    std::uint32_t prev_page = head.prev;
    nodes_.emplace(fresh, std::move(head));
    if (prev_page != 0) {
        Node& p = load(prev_page);
        p.next = fresh;
        p.dirty = true;
    }
    set_parents(fresh);
    if (last_of_head != 0) {
        // Node pages are linked only to peers under the same parent.
        Node& l = load(last_of_head);
        children_are_nodes = !l.leaf;
        if (children_are_nodes) {
            l.next = 0;
            l.dirty = true;
            Node& f = load(first_of_orig);
            f.prev = 0;
            f.dirty = true;
        }
    }
    Node& parent = load(parent_page);
    std::size_t i = position_in_parent(parent, page);
    parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(i), Entry{head_max, fresh, true});
    parent.dirty = true;
    if (!fits(parent)) split(parent_page);
}

IndexEntry IndexTree::subtree_max(std::uint32_t page) {
    for (int depth = 0; depth < 64; ++depth) {
        Node& n = load(page);
        if (n.entries.empty()) break;
        if (n.leaf || n.entries.back().known) return n.entries.back().e;
        page = n.entries.back().child;
    }
    damaged("an index subtree has no entries");
}

PageData IndexTree::encode(std::uint32_t page, Node& n) {
    PageData p{};
    page_header(p, n.leaf, table_page_);
    put32(p, index_page::kPrev, n.prev);
    put32(p, index_page::kNext, n.next);
    std::size_t written = n.entries.size();
    if (!n.leaf && written > 1) {
        put32(p, index_page::kTail, n.entries.back().child);
        --written;
    } else if (!n.leaf && written == 1 && !n.entries[0].known) {
        n.entries[0].e = subtree_max(n.entries[0].child);
        n.entries[0].known = true;
    }
    std::vector<std::vector<std::uint8_t>> bytes(written);
    for (std::size_t i = 0; i < written; ++i) append_entry(bytes[i], n.entries[i].e, n.leaf, n.entries[i].child);
    // The bytes every entry begins with. In a sorted page that is what the
    // first and last entries share; every entry is compared all the same, so
    // entries out of order in a damaged page cannot be shorter than the prefix.
    std::size_t prefix = written > 1 ? bytes.front().size() : 0;
    for (std::size_t i = 1; i < written && prefix > 0; ++i) {
        const auto& a = bytes.front();
        const auto& b = bytes[i];
        std::size_t same = 0;
        while (same < prefix && same < b.size() && a[same] == b[same]) ++same;
        prefix = same;
    }
    std::size_t pos = 0;
    auto mark = [&](std::size_t end) { p[index_page::kMask + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8)); };
    for (std::size_t i = 0; i < written; ++i) {
        std::size_t skip = i == 0 ? 0 : prefix;
        std::size_t len = bytes[i].size() - skip;
        if (index_page::kEntries + pos + len > kPageSize) damaged("index page " + std::to_string(page) + " overfilled");
        std::copy(bytes[i].begin() + static_cast<std::ptrdiff_t>(skip), bytes[i].end(), p.begin() + static_cast<std::ptrdiff_t>(index_page::kEntries + pos));
        pos += len;
        mark(pos);
    }
    put16(p, index_page::kPrefixLength, static_cast<std::uint32_t>(prefix));
    put16(p, 2, static_cast<std::uint32_t>(kPageSize - index_page::kEntries - pos));
    return p;
}

void IndexTree::flush() {
    for (auto& [page, n] : nodes_) {
        if (!n.dirty) continue;
        file_.write(page, encode(page, n), PageRole::Content);
        n.dirty = false;
    }
}

}  // namespace jet
