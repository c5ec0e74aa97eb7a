#include "query_where.h"

#include <cstdlib>
#include <stdexcept>
#include <variant>

#include "jet/value.h"
#include "like_regex.h"
#include "sql/eval.h"

namespace server {

namespace {

// A set of rows as the server tells them: every row, none, or those an
// expression is true of.
struct Rows {
    enum class Kind : std::uint8_t { None, All, Some };
    Kind kind = Kind::None;
    std::string sql;
};

Rows all_rows() { return {Rows::Kind::All, {}}; }
Rows no_rows() { return {Rows::Kind::None, {}}; }
Rows rows_where(std::string sql) { return {Rows::Kind::Some, std::move(sql)}; }

Rows joined(const std::vector<Rows>& parts, bool every) {
    const Rows::Kind decisive = every ? Rows::Kind::None : Rows::Kind::All;
    std::string sql;
    for (const Rows& r : parts) {
        if (r.kind == decisive) return r;
        if (r.kind == Rows::Kind::Some) sql += (sql.empty() ? "(" : (every ? " AND (" : " OR (")) + r.sql + ")";
    }
    if (sql.empty()) return every ? all_rows() : no_rows();
    return rows_where(sql);
}
Rows all_of(const std::vector<Rows>& parts) { return joined(parts, true); }
Rows any_of(const std::vector<Rows>& parts) { return joined(parts, false); }

// What a part of the condition comes to on the server: it is true (or
// raises) only on rows of `taken`, false (or raises) only on rows of
// `refused`, and raises only on rows of `raises`. Exact: `taken` and
// `refused` are the rows it is true and false of, and it raises on none.
struct Sets {
    Rows taken, refused, raises;
    bool exact = false;
};

// The columns' types as the server's expressions treat them.
enum class Kind : std::uint8_t { Whole, Real, Scaled, Date, Text, Guid, Binary };

Kind kind_of(jet::ColumnType t) {
    switch (t) {
        case jet::ColumnType::Boolean:
        case jet::ColumnType::Byte:
        case jet::ColumnType::Integer:
        case jet::ColumnType::Long: return Kind::Whole;
        case jet::ColumnType::Single:
        case jet::ColumnType::Double: return Kind::Real;
        case jet::ColumnType::Currency:
        case jet::ColumnType::Decimal: return Kind::Scaled;
        case jet::ColumnType::DateTime: return Kind::Date;
        case jet::ColumnType::Text:
        case jet::ColumnType::Memo: return Kind::Text;
        case jet::ColumnType::Guid: return Kind::Guid;
        case jet::ColumnType::Binary:
        case jet::ColumnType::Ole: return Kind::Binary;
    }
    return Kind::Binary;
}

bool is_number(Kind k) { return k == Kind::Whole || k == Kind::Real || k == Kind::Scaled; }

// Whether comparing values of these kinds never raises (sql::Filter's rules).
bool compare_safely(Kind a, Kind b) {
    if (a == b) return true;
    if (is_number(a) && is_number(b)) return true;
    if ((a == Kind::Date && is_number(b)) || (b == Kind::Date && is_number(a))) return true;
    return (a == Kind::Guid && b == Kind::Text) || (a == Kind::Text && b == Kind::Guid);
}

sql::CompareOp mirrored(sql::CompareOp op) {
    switch (op) {
        case sql::CompareOp::Less: return sql::CompareOp::Greater;
        case sql::CompareOp::LessEqual: return sql::CompareOp::GreaterEqual;
        case sql::CompareOp::Greater: return sql::CompareOp::Less;
        case sql::CompareOp::GreaterEqual: return sql::CompareOp::LessEqual;
        default: return op;
    }
}

const char* op_sql(sql::CompareOp op) {
    switch (op) {
        case sql::CompareOp::Equal: return " = ";
        case sql::CompareOp::NotEqual: return " <> ";
        case sql::CompareOp::Less: return " < ";
        case sql::CompareOp::LessEqual: return " <= ";
        case sql::CompareOp::Greater: return " > ";
        case sql::CompareOp::GreaterEqual: return " >= ";
    }
    return " = ";
}

// Whole numbers a double holds exactly, all of them: up to 2^53.
constexpr std::int64_t kExactInDouble = std::int64_t{1} << 53;

class Translation {
public:
    Translation(const std::vector<jet::Column>& columns, const std::function<std::size_t(const sql::ColumnRef&)>& resolve,
                std::string_view statement, bool unicode)
        : columns_(columns), resolve_(resolve), statement_(statement), unicode_(unicode) {}

    std::vector<Param> params;

    Sets node(const sql::Condition& c) {
        switch (c.kind) {
            case sql::Condition::Kind::And:
            case sql::Condition::Kind::Or: return joined_node(c);
            case sql::Condition::Kind::Not: {
                Sets s = node(c.terms.at(0));
                std::swap(s.taken, s.refused);
                return s;
            }
            case sql::Condition::Kind::Compare: return compare(c);
            case sql::Condition::Kind::Like: return like(c);
            case sql::Condition::Kind::IsNull:
                if (!is_column(c.left)) return constant(c);
                return exact(column_sql(c.left) + (c.negated ? " IS NOT NULL" : " IS NULL"));
            case sql::Condition::Kind::Truth: return truth(c);
        }
        return unsure(all_rows());
    }

private:
    static bool is_column(const sql::Operand& o) { return o.kind == sql::Operand::Kind::Column; }
    const jet::Column& column(const sql::Operand& o) const { return columns_.at(resolve_(o.column)); }
    std::string column_sql(const sql::Operand& o) const { return Connection::quote(column(o).name); }
    Rows not_null(const sql::Operand& o) const { return rows_where(column_sql(o) + " IS NOT NULL"); }

    std::string param(std::string text, const char* type = nullptr) {
        params.emplace_back(std::move(text));
        std::string p = "$" + std::to_string(params.size());
        return type ? p + "::" + type : p;
    }

    static Sets exact(const std::string& e) { return {rows_where(e), rows_where("NOT (" + e + ")"), no_rows(), true}; }
    static Sets unsure(Rows raises) { return {all_rows(), all_rows(), std::move(raises), false}; }

    Sets joined_node(const sql::Condition& c) {
        const bool every = c.kind == sql::Condition::Kind::And;
        std::vector<Rows> taken, refused, raises;
        bool exact_all = true;
        for (const sql::Condition& sub : c.terms) {
            Sets s = node(sub);
            taken.push_back(std::move(s.taken));
            refused.push_back(std::move(s.refused));
            raises.push_back(std::move(s.raises));
            exact_all = exact_all && s.exact;
        }
        Rows raised = any_of(raises);
        // AND is true only when every part is, false when one is; OR the other way round.
        if (every) return {any_of({all_of(taken), raised}), any_of(refused), raised, exact_all};
        return {any_of(taken), any_of({all_of(refused), raised}), raised, exact_all};
    }

    // A part that reads no column: the same on every row, found as the file finds it.
    Sets constant(const sql::Condition& c) {
        try {
            sql::Filter f(c, [](const sql::ColumnRef&) -> std::size_t { throw std::logic_error("a column in a constant part"); }, 0,
                          statement_);
            switch (f.test({})) {
                case sql::Truth::True: return {all_rows(), no_rows(), no_rows(), true};
                case sql::Truth::False: return {no_rows(), all_rows(), no_rows(), true};
                case sql::Truth::Unknown: return {no_rows(), no_rows(), no_rows(), true};
            }
        } catch (const sql::Error&) {
        }
        return unsure(all_rows());
    }

    // The column as a number: Yes/No as -1 and 0, as the file counts them.
    std::string number_sql(const sql::Operand& o) const {
        const std::string q = column_sql(o);
        return column(o).type == jet::ColumnType::Boolean ? "(CASE WHEN " + q + " THEN -1 ELSE 0 END)" : q;
    }

    // A double column is unknown where it holds NaN, which the server
    // would put above every number.
    std::string real_sql(const sql::Operand& o, const std::string& test) const {
        return "CASE WHEN " + column_sql(o) + " = 'NaN'::float8 THEN NULL ELSE " + test + " END";
    }

    Sets compare(const sql::Condition& c) {
        const sql::Operand* col = &c.left;
        const sql::Operand* other = &c.right;
        sql::CompareOp op = c.op;
        if (!is_column(*col)) {
            std::swap(col, other);
            op = mirrored(op);
        }
        if (other->kind == sql::Operand::Kind::Null) return {no_rows(), no_rows(), no_rows(), true};
        if (!is_column(*col)) return constant(c);
        const Kind k = kind_of(column(*col).type);
        if (is_column(*other)) {
            if (compare_safely(k, kind_of(column(*other).type))) return unsure(no_rows());
            return unsure(rows_where(column_sql(*col) + " IS NOT NULL AND " + column_sql(*other) + " IS NOT NULL"));
        }
        const bool text = other->kind == sql::Operand::Kind::Text;
        const bool equality = op == sql::CompareOp::Equal || op == sql::CompareOp::NotEqual;
        const std::string negation = op == sql::CompareOp::NotEqual ? "NOT " : "";
        switch (k) {
            case Kind::Text:
                if (!text) return unsure(not_null(*col));  // each text read as a number
                if (!equality || !unicode_) return unsure(no_rows());
                return exact(negation + "(" + column_sql(*col) + " COLLATE \"C\" ~ " + param(equal_text_regex(other->text)) + ")");
            case Kind::Guid:
                if (!text) return unsure(not_null(*col));
                if (!equality || !unicode_) return unsure(no_rows());
                return exact(negation + "(('{' || " + column_sql(*col) + "::text || '}') COLLATE \"C\" ~ " +
                             param(equal_text_regex(other->text)) + ")");
            case Kind::Binary: return unsure(not_null(*col));
            case Kind::Date:
                return unsure(text ? not_null(*col) : no_rows());
            case Kind::Whole:
            case Kind::Real:
            case Kind::Scaled: break;
        }
        std::variant<std::int64_t, double> number;
        if (text) {
            std::optional<std::variant<std::int64_t, double>> read = sql::number_in_text(other->text);
            if (!read) return unsure(not_null(*col));
            number = *read;
        } else if (other->kind == sql::Operand::Kind::Decimal) {
            number = other->decimal;
        } else {
            number = other->integer;
        }
        if (k == Kind::Scaled) return unsure(no_rows());
        const auto* whole = std::get_if<std::int64_t>(&number);
        if (k == Kind::Whole && whole) return exact(number_sql(*col) + op_sql(op) + param(std::to_string(*whole), "bigint"));
        double value = 0;
        if (whole) {
            if (*whole > kExactInDouble || *whole < -kExactInDouble) return unsure(no_rows());
            value = static_cast<double>(*whole);
        } else {
            value = std::get<double>(number);
        }
        const std::string test = number_sql(*col) + "::float8" + op_sql(op) + param(jet::shortest(value), "float8");
        return exact(k == Kind::Real ? real_sql(*col, test) : test);
    }

    Sets like(const sql::Condition& c) {
        if (!is_column(c.left)) return constant(c);
        const std::string q = column_sql(c.left);
        std::string text;
        switch (kind_of(column(c.left).type)) {
            case Kind::Text: text = q; break;
            case Kind::Whole:
                text = column(c.left).type == jet::ColumnType::Boolean ? "(CASE WHEN " + q + " THEN '-1' ELSE '0' END)" : q + "::text";
                break;
            case Kind::Scaled: text = "trim_scale(" + q + ")::text"; break;
            case Kind::Guid: text = "('{' || " + q + "::text || '}')"; break;
            case Kind::Real:
            case Kind::Date: return unsure(no_rows());
            case Kind::Binary: return unsure(not_null(c.left));
        }
        std::optional<sql::LikePattern> pattern = sql::LikePattern::compile(c.pattern);
        if (!pattern) return unsure(all_rows());
        if (!unicode_) return unsure(no_rows());
        return exact(std::string(c.negated ? "NOT " : "") + "(" + text + " COLLATE \"C\" ~ " + param(like_regex(*pattern)) + ")");
    }

    Sets truth(const sql::Condition& c) {
        if (!is_column(c.left)) return constant(c);
        const std::string q = column_sql(c.left);
        switch (kind_of(column(c.left).type)) {
            case Kind::Whole: return exact(column(c.left).type == jet::ColumnType::Boolean ? q : q + " <> 0");
            case Kind::Scaled: return exact(q + " <> 0");
            case Kind::Real: return exact(real_sql(c.left, q + " <> 0"));
            case Kind::Date: return unsure(no_rows());
            case Kind::Text:
            case Kind::Guid:
            case Kind::Binary: return unsure(not_null(c.left));
        }
        return unsure(all_rows());
    }

    const std::vector<jet::Column>& columns_;
    const std::function<std::size_t(const sql::ColumnRef&)>& resolve_;
    std::string_view statement_;
    bool unicode_;
};

// The parameters the expression still refers to (parts dropped as deciding
// nothing took theirs with them), numbered anew in order. Names and the
// expression's own literals are passed over, so that only $n outside them counts.
void keep_used(std::string& sql, std::vector<Param>& params) {
    std::string out;
    std::vector<Param> used;
    std::vector<std::size_t> renumbered(params.size() + 1, 0);
    for (std::size_t i = 0; i < sql.size();) {
        const char ch = sql[i];
        if (ch == '"' || ch == '\'') {
            std::size_t end = i + 1;
            while (end < sql.size() && sql[end] != ch) ++end;  // a doubled quote is two quoted runs in a row
            out.append(sql, i, end + 1 - i);
            i = end + 1;
            continue;
        }
        if (ch != '$') {
            out += ch;
            ++i;
            continue;
        }
        std::size_t end = i + 1, n = 0;
        while (end < sql.size() && sql[end] >= '0' && sql[end] <= '9') n = n * 10 + static_cast<std::size_t>(sql[end++] - '0');
        if (renumbered.at(n) == 0) {
            used.push_back(std::move(params.at(n - 1)));
            renumbered[n] = used.size();
        }
        out += "$" + std::to_string(renumbered[n]);
        i = end;
    }
    sql = std::move(out);
    params = std::move(used);
}

}  // namespace

ServerCondition server_condition(const sql::Condition& c, const std::vector<jet::Column>& columns,
                                 const std::function<std::size_t(const sql::ColumnRef&)>& resolve, std::string_view statement,
                                 bool unicode) {
    Translation t(columns, resolve, statement, unicode);
    Sets s = t.node(c);
    ServerCondition out;
    out.exact = s.exact;
    out.params = std::move(t.params);
    switch (s.taken.kind) {
        case Rows::Kind::All: out.sql = "TRUE"; break;
        case Rows::Kind::None: out.sql = "FALSE"; break;
        case Rows::Kind::Some: out.sql = std::move(s.taken.sql); break;
    }
    keep_used(out.sql, out.params);
    return out;
}

}  // namespace server
