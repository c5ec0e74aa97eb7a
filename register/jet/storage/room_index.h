// The pages of a free-space map by how long a row each still takes, so that a
// new row goes to the page it fits best (the one with the least room that is
// enough), and pages that deletes left partly free fill up again before the
// file grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>

namespace jet {

class RoomIndex {
public:
    bool empty() const { return by_room_.empty(); }
    // The page with the least room of at least `size`, or nothing.
    std::optional<std::uint32_t> best_fit(std::size_t size) const {
        auto it = by_room_.lower_bound(size);
        if (it == by_room_.end()) return std::nullopt;
        return it->second;
    }
    // Records (or changes) how long a row the page takes.
    void set(std::uint32_t page, std::size_t room) {
        erase(page);
        where_[page] = by_room_.emplace(room, page);
    }
    void erase(std::uint32_t page) {
        if (auto it = where_.find(page); it != where_.end()) {
            by_room_.erase(it->second);
            where_.erase(it);
        }
    }

private:
    std::multimap<std::size_t, std::uint32_t> by_room_;
    std::unordered_map<std::uint32_t, std::multimap<std::size_t, std::uint32_t>::iterator> where_;
};

}  // namespace jet
