#include "row_numbers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "say.h"

namespace regtool {

std::optional<std::vector<std::int64_t>> row_numbers(const std::vector<std::string>& args, std::size_t from, std::string& bad) {
    std::vector<std::int64_t> wanted;
    wanted.reserve(args.size() > from ? args.size() - from : 0);
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& n = args[i];
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(n.c_str(), &end, 10);
        if (n.empty() || *end != '\0' || errno != 0) {
            bad = n;
            return std::nullopt;
        }
        wanted.push_back(v);
    }
    if (!std::is_sorted(wanted.begin(), wanted.end())) std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    return wanted;
}

bool whole_number_type(jet::ColumnType type) {
    return type == jet::ColumnType::Byte || type == jet::ColumnType::Integer || type == jet::ColumnType::Long;
}

int report_missing(const std::vector<std::int64_t>& wanted, std::vector<std::int64_t> found) {
    if (!std::is_sorted(found.begin(), found.end())) std::sort(found.begin(), found.end());
    std::string missing;
    auto f = found.begin();
    for (std::int64_t n : wanted) {
        while (f != found.end() && *f < n) ++f;
        if (f == found.end() || *f != n) missing += (missing.empty() ? "" : " ") + std::to_string(n);
    }
    if (missing.empty()) return 0;
    std::fprintf(stderr, "regtool: %s%s\n", say("ни одна запись не содержит ", "no row holds ").c_str(), missing.c_str());
    return 1;
}

}  // namespace regtool
