#include "errors/move_error.h"

#include "errors/numbers.h"

namespace errors {

namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view between) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += between;
        out += p;
    }
    return out;
}

std::string quoted_each(const std::vector<std::string>& names, std::string_view between) {
    std::vector<std::string> q;
    for (const std::string& n : names) q.push_back(quote(n));
    return joined(q, between);
}

}  // namespace

MoveError::MoveError(MoveFault fault, std::string source, std::string destination)
    : std::runtime_error("the move from " + source + " to " + destination + " failed"),
      fault_(fault),
      source_(std::move(source)),
      destination_(std::move(destination)) {}

std::string shown_in_move(const std::string& file, const std::string& source, const std::string& destination) {
    return shown_file(source) == shown_file(destination) ? file : shown_file(file);
}

Message describe(const MoveError& e, Language language) {
    const bool ru = language == Language::Russian;
    const std::string src = quote(shown_in_move(e.source(), e.source(), e.destination()));
    const std::string dst = quote(shown_in_move(e.destination(), e.source(), e.destination()));
    const std::string nothing = ru ? " Ничего не перенесено." : " Nothing was moved.";
    switch (e.fault()) {
        case MoveFault::SameFile:
            return {number::kSameFile, ru ? "База-источник и база-приемник — один и тот же файл " + src + ". Выберите две разные базы."
                                          : "The source and the destination are one file, " + src + ". Choose two different databases."};
        case MoveFault::MissingColumn: {
            const std::string name = e.names.empty() ? std::string() : e.names[0];
            const std::string at = std::to_string(e.column);
            return {number::kItemNotFound,
                    (ru ? "В базе-источнике " + src + " нет столбца № " + at + " («" + name + "»), который есть в базе-приемнике " + dst + "."
                        : "The source " + src + " lacks column no. " + at + " («" + name + "») of the destination " + dst + ".") +
                        nothing};
        }
        case MoveFault::FilledColumns:
            return {number::kItemNotFound,
                    (ru ? "В базе-источнике " + src + " заполнены столбцы, которых нет в базе-приемнике " + dst + ": " +
                              quoted_each(e.names, ", ") + ". Их значения были бы потеряны."
                        : "The source " + src + " has values in columns the destination " + dst + " lacks: " +
                              quoted_each(e.names, ", ") + ". Their values would be lost.") +
                        nothing};
        case MoveFault::MisplacedColumns: {
            std::vector<std::string> items;
            for (const MisplacedColumn& m : e.misplaced) {
                items.push_back(ru ? "«" + m.name + "» — № " + std::to_string(m.in_source) + " в источнике и № " +
                                         std::to_string(m.in_destination) + " в приемнике"
                                   : "«" + m.name + "», no. " + std::to_string(m.in_source) + " in the source and no. " +
                                         std::to_string(m.in_destination) + " in the destination");
            }
            return {number::kItemNotFound,
                    (ru ? "Столбцы базы-источника " + src + " и базы-приемника " + dst + " стоят в разном порядке: " + joined(items, "; ") +
                              ". Записи переносятся по номерам столбцов, и значения попали бы не в те столбцы."
                        : "The columns of the source " + src + " and the destination " + dst + " stand in another order: " +
                              joined(items, "; ") + ". Rows are moved by column number, and values would land in the wrong columns.") +
                        nothing};
        }
        case MoveFault::RelatedRows: {
            const std::string table = quote(e.names.size() > 0 ? e.names[0] : std::string());
            const std::string link = quote(e.names.size() > 1 ? e.names[1] : std::string());
            return {number::kRelatedRowsExist,
                    (ru ? "На записи базы-источника " + src + " ссылаются записи ее таблицы " + table + " (связь " + link +
                              "): перенос оставил бы их без связанных записей."
                        : "Rows of the table " + table + " of the source " + src + " name its rows (relationship " + link +
                              "): the move would leave them without their related rows.") +
                        nothing};
        }
        case MoveFault::RowRefused: {
            const std::string why = e.refused ? refusal(*e.refused, language) : std::string();
            const std::string moved = std::to_string(e.moved);
            return {e.refused ? refusal_number(*e.refused) : number::kConversion,
                    ru ? "База-приемник " + dst + " не принимает запись: " + why + ". Перенесено записей: " + moved +
                             "; эта запись и следующие остались в базе-источнике."
                       : "The destination " + dst + " refuses a row: " + why + ". Rows moved: " + moved +
                             "; this row and the ones after it stayed in the source."};
        }
    }
    return {number::kInternal, ""};
}

Message describe_in_move(const jet::Error& e, const std::string& source, const std::string& destination, Language language) {
    return describe(e, language, shown_in_move(e.file(), source, destination));
}

}  // namespace errors
