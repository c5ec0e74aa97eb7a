#include "row_numbers.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "say.h"

namespace regtool {

std::optional<std::set<std::int64_t>> row_numbers(const std::vector<std::string>& args, std::size_t from, std::string& bad) {
    std::set<std::int64_t> wanted;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& n = args[i];
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(n.c_str(), &end, 10);
        if (n.empty() || *end != '\0' || errno != 0) {
            bad = n;
            return std::nullopt;
        }
        wanted.insert(v);
    }
    return wanted;
}

bool whole_number_type(jet::ColumnType type) {
    return type == jet::ColumnType::Byte || type == jet::ColumnType::Integer || type == jet::ColumnType::Long;
}

int report_missing(const std::set<std::int64_t>& wanted, const std::set<std::int64_t>& found) {
    std::string missing;
    for (std::int64_t n : wanted) {
        if (!found.count(n)) missing += (missing.empty() ? "" : " ") + std::to_string(n);
    }
    if (missing.empty()) return 0;
    std::fprintf(stderr, "regtool: %s%s\n", say("ни одна запись не содержит ", "no row holds ").c_str(), missing.c_str());
    return 1;
}

}  // namespace regtool
