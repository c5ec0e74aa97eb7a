#include "btree/index_tree.h"

#include <algorithm>
#include <cstdint>

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

// The last bytes of an entry as stored, after its key: the row pointer and,
// on a node page, the child page. Returns how many.
std::size_t tail_bytes(const IndexEntry& e, bool leaf, std::uint32_t child, std::uint8_t (&out)[8]) {
    out[0] = static_cast<std::uint8_t>(e.row.page >> 16);
    out[1] = static_cast<std::uint8_t>(e.row.page >> 8);
    out[2] = static_cast<std::uint8_t>(e.row.page);
    out[3] = static_cast<std::uint8_t>(e.row.row);
    if (leaf) return 4;
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(child >> (24 - 8 * i));
    return 8;
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
    // Searches and the shared prefix both rely on the order; a page out of it
    // is damaged, whoever wrote it.
    for (std::size_t i = 1; i < ip.entries.size(); ++i) {
        if (!(n.entries[i - 1].e < n.entries[i].e)) {
            damaged("index page " + std::to_string(page) + " holds its entries out of order");
        }
    }
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

// After the last entry of a page changed, the entries above that stand for it
// follow. A replaced entry may be longer than the one it replaces, so each
// page changed is split if it no longer fits.
void IndexTree::raise_max(std::uint32_t page) {
    Node* n = &load(page);
    if (n->entries.empty() || !n->entries.back().known) return;
    const IndexEntry max = n->entries.back().e;
    std::vector<std::uint32_t> changed;
    while (n->parent != 0) {
        std::uint32_t parent_page = n->parent;
        Node& parent = load(parent_page);
        std::size_t i = position_in_parent(parent, page);
        Entry& pe = parent.entries[i];
        if (!pe.known || !(pe.e == max)) {
            pe.e = max;
            pe.known = true;
            parent.changed();
            changed.push_back(parent_page);
        }
        if (i + 1 != parent.entries.size()) break;
        page = parent_page;
        n = &parent;
    }
    // Lowest first: a split below adds an entry to the page above, which is
    // settled after it. Splits keep each page's last entry, so the entries
    // raised above stay right.
    for (std::uint32_t p : changed) settle(p);
}

bool IndexTree::contains_key(const std::vector<std::uint8_t>& key) {
    apply_removals();
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

std::vector<RowId> IndexTree::find(const std::vector<std::uint8_t>& key) {
    apply_removals();
    IndexEntry probe{key, RowId{0, 0}};
    std::vector<RowId> out;
    std::uint32_t page = descend(probe);
    // The entries with this key run from the first at or above the probe, over as many leaves as they fill.
    for (std::uint32_t hops = 0; page != 0; ++hops) {
        if (hops > file_.page_count()) damaged("an index's leaves link in a loop");
        Node& n = load(page);
        auto it = std::lower_bound(n.entries.begin(), n.entries.end(), probe, [](const Entry& a, const IndexEntry& b) { return a.e < b; });
        for (; it != n.entries.end(); ++it) {
            if (it->e.key != key) return out;
            out.push_back(it->e.row);
        }
        page = n.next;
    }
    return out;
}

void IndexTree::insert(const IndexEntry& e) {
    apply_removals();
    std::uint32_t page = descend(e);
    Node& n = load(page);
    auto it = std::lower_bound(n.entries.begin(), n.entries.end(), e,
                               [](const Entry& a, const IndexEntry& b) { return a.e < b; });
    if (it != n.entries.end() && it->e == e) damaged("an index already holds the entry being added");
    bool last = it == n.entries.end();
    n.entries.insert(it, Entry{e, 0, true});
    n.dirty = true;
    n.sum += entry_size(e, n.leaf);
    if (last) raise_max(page);
    settle(page);
}

void IndexTree::remove(const IndexEntry& e) { doomed_.push_back(e); }

// The entries waiting to leave, in order, each leaf's share in one pass over
// it: a group deleting many rows moves each page's entries once, not once a row.
void IndexTree::apply_removals() {
    if (doomed_.empty()) return;
    std::vector<IndexEntry> doomed = std::move(doomed_);
    doomed_.clear();
    if (!std::is_sorted(doomed.begin(), doomed.end())) std::sort(doomed.begin(), doomed.end());
    for (std::size_t i = 0; i < doomed.size();) {
        const std::uint32_t page = descend(doomed[i]);
        Node& n = load(page);
        // This leaf holds the entries up to its last one, and no other leaf does.
        std::size_t end = i;
        if (!n.entries.empty()) {
            while (end < doomed.size() && !(n.entries.back().e < doomed[end])) ++end;
        }
        if (end == i) damaged("an index lacks the entry of a row being changed");
        std::size_t k = i;
        bool last_gone = false;
        auto out = n.entries.begin();
        for (auto it = n.entries.begin(); it != n.entries.end(); ++it) {
            if (k < end && it->e == doomed[k]) {
                n.sum -= entry_size(it->e, n.leaf);
                last_gone = it + 1 == n.entries.end();
                ++k;
                continue;
            }
            if (k < end && doomed[k] < it->e) damaged("an index lacks the entry of a row being changed");
            if (out != it) *out = std::move(*it);
            ++out;
        }
        if (k < end) damaged("an index lacks the entry of a row being changed");
        n.entries.erase(out, n.entries.end());
        n.dirty = true;
        if (n.entries.empty()) {
            if (page != root_) unlink(page);
        } else {
            if (last_gone) raise_max(page);
            settle(page);  // fewer entries never take more room; checked all the same
        }
        i = end;
    }
}

// Takes an empty page out of the tree and gives it back to the file.
void IndexTree::unlink(std::uint32_t page) {
    Node n = std::move(load(page));
    nodes_.erase(page);
    if (n.prev != 0) {
        Node& p = load(n.prev);
        p.next = n.next;
        p.changed();
    }
    if (n.next != 0) {
        Node& x = load(n.next);
        x.prev = n.prev;
        x.changed();
    }
    release_(page);
    std::uint32_t parent_page = n.parent;
    if (parent_page == 0) damaged("an index page is not reachable from the root");
    Node& parent = load(parent_page);
    std::size_t i = position_in_parent(parent, page);
    bool last = i + 1 == parent.entries.size();
    parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(i));
    parent.changed();
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

// The bytes two entries begin with alike, as they are stored.
std::size_t IndexTree::shared_prefix(const Entry& a, const Entry& b, bool leaf) {
    const std::vector<std::uint8_t>& ka = a.e.key;
    const std::vector<std::uint8_t>& kb = b.e.key;
    const std::size_t both = std::min(ka.size(), kb.size());
    const auto diff = std::mismatch(ka.begin(), ka.begin() + static_cast<std::ptrdiff_t>(both), kb.begin());
    std::size_t i = static_cast<std::size_t>(diff.first - ka.begin());
    if (i < both) return i;
    std::uint8_t ta[8], tb[8];
    const std::size_t la = ka.size() + tail_bytes(a.e, leaf, a.child, ta);
    const std::size_t lb = kb.size() + tail_bytes(b.e, leaf, b.child, tb);
    auto at = [](const std::vector<std::uint8_t>& k, const std::uint8_t (&t)[8], std::size_t j) {
        return j < k.size() ? k[j] : t[j - k.size()];
    };
    while (i < la && i < lb && at(ka, ta, i) == at(kb, tb, i)) ++i;
    return i;
}

// The bytes entries [from, to) of a page would take as one page of their own:
// a node's last entry is its tail and is not stored; the bytes every stored
// entry begins with are stored once. Pages in memory are always in order, so
// what the first and last stored entries share is what all of them share.
// `sums` holds the running total of the entries' sizes (sums[i]: entries
// before i), so a size costs one comparison of two entries.
std::size_t IndexTree::encoded_size(const Node& n, const std::vector<std::size_t>& sums, std::size_t from, std::size_t to) const {
    const std::size_t count = to - from;
    const std::size_t written = n.leaf || count <= 1 ? count : count - 1;
    const std::size_t total = sums[from + written] - sums[from];
    if (written < 2) return total;
    return total - shared_prefix(n.entries[from], n.entries[from + written - 1], n.leaf) * (written - 1);
}

// The bytes of the whole page, from the entries' total kept with the page
// (counted afresh when a change did not keep it).
std::size_t IndexTree::page_size(const Node& n) const {
    if (!n.sum_known) {
        std::size_t sum = 0;
        for (const Entry& e : n.entries) sum += entry_size(e.e, n.leaf);
        n.sum = sum;
        n.sum_known = true;
    }
    const std::size_t count = n.entries.size();
    if (count == 0) return 0;
    std::size_t total = n.sum;
    std::size_t written = count;
    if (!n.leaf && count > 1) {
        total -= entry_size(n.entries.back().e, false);
        --written;
    }
    if (written < 2) return total;
    return total - shared_prefix(n.entries.front(), n.entries[written - 1], n.leaf) * (written - 1);
}

bool IndexTree::fits(const Node& n) const {
    // A single entry always fits: no key is longer than a few hundred bytes.
    if (n.entries.size() <= 1) return true;
    return page_size(n) <= kRoom;
}

// Where to cut a page that does not fit: the cut whose larger half takes the
// fewest bytes. Halving by count could leave the long keys together on one
// side, still too full.
std::size_t IndexTree::split_point(const Node& n) const {
    const std::size_t count = n.entries.size();
    std::vector<std::size_t> sums(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) sums[i + 1] = sums[i] + entry_size(n.entries[i].e, n.leaf);
    std::size_t best = count / 2;
    std::size_t best_size = SIZE_MAX;
    for (std::size_t k = 1; k < count; ++k) {
        std::size_t larger = std::max(encoded_size(n, sums, 0, k), encoded_size(n, sums, k, count));
        if (larger < best_size) {
            best_size = larger;
            best = k;
        }
    }
    return best;
}

// Splits the page until every part of it fits.
void IndexTree::settle(std::uint32_t page) {
    for (int rounds = 0; !fits(load(page)); ++rounds) {
        if (rounds > 64) internal_fault("index page " + std::to_string(page) + " cannot be split to fit");
        split(page);
    }
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
        moved.changed();
        Entry up;
        up.child = below;
        up.known = moved.entries.back().known;
        up.e = moved.entries.back().e;
        root.leaf = false;
        root.entries.clear();
        root.entries.push_back(std::move(up));
        root.changed();
        nodes_.emplace(below, std::move(moved));
        set_parents(below);
        page = below;
    }
    std::uint32_t fresh = allocate_();
    Node& orig = load(page);
    const std::size_t half = split_point(orig);
    Node head;
    head.leaf = orig.leaf;
    head.entries.assign(std::make_move_iterator(orig.entries.begin()),
                        std::make_move_iterator(orig.entries.begin() + static_cast<std::ptrdiff_t>(half)));
    orig.entries.erase(orig.entries.begin(), orig.entries.begin() + static_cast<std::ptrdiff_t>(half));
    head.parent = orig.parent;
    head.prev = orig.prev;
    head.next = page;
    head.changed();
    orig.prev = fresh;
    orig.changed();
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
        p.changed();
    }
    set_parents(fresh);
    if (last_of_head != 0) {
        // Node pages are linked only to peers under the same parent.
        Node& l = load(last_of_head);
        children_are_nodes = !l.leaf;
        if (children_are_nodes) {
            l.next = 0;
            l.changed();
            Node& f = load(first_of_orig);
            f.prev = 0;
            f.changed();
        }
    }
    Node& parent = load(parent_page);
    std::size_t i = position_in_parent(parent, page);
    parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(i), Entry{head_max, fresh, true});
    parent.changed();
    // Either half may still be too full when a few long keys gather on one side.
    settle(fresh);
    settle(page);
    settle(parent_page);
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
        n.sum_known = false;
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
        if (index_page::kEntries + pos + len > kPageSize) internal_fault("index page " + std::to_string(page) + " would overflow");
        std::copy(bytes[i].begin() + static_cast<std::ptrdiff_t>(skip), bytes[i].end(), p.begin() + static_cast<std::ptrdiff_t>(index_page::kEntries + pos));
        pos += len;
        mark(pos);
    }
    put16(p, index_page::kPrefixLength, static_cast<std::uint32_t>(prefix));
    put16(p, 2, static_cast<std::uint32_t>(kPageSize - index_page::kEntries - pos));
    return p;
}

void IndexTree::flush() {
    apply_removals();
    for (auto& [page, n] : nodes_) {
        if (!n.dirty) continue;
        file_.write(page, encode(page, n), PageRole::Content);
        n.dirty = false;
    }
}

}  // namespace jet
