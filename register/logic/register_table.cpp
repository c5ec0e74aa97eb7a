#include "logic/register_table.h"

namespace reg {

jet::TableSpec register_table_spec() {
    using T = jet::ColumnType;
    jet::TableSpec s;
    s.name = "ЗУРТ";
    s.columns = {{"номер", T::Long, 0, true},
                 {"Фамилия", T::Text, 50},
                 {"Имя", T::Text, 50},
                 {"Отчество", T::Text, 50},
                 {"Блейк лист", T::Text, 20},
                 {"Дата рождения", T::DateTime},
                 {"Категория учета", T::Text, 50},
                 {"Адрес места жительства", T::Text, 255},
                 {"Пол", T::Text, 10},
                 {"Рост", T::Integer},
                 {"Вес", T::Double},
                 {"Судимость", T::Boolean},
                 {"Примечание", T::Memo},
                 {"Телефон", T::Text, 30},
                 {"Паспорт", T::Text, 30},
                 {"Место рождения", T::Text, 100},
                 {"Гражданство", T::Text, 50},
                 {"Образование", T::Text, 50},
                 {"Место работы", T::Text, 100},
                 {"Должность", T::Text, 50},
                 {"Дата постановки", T::DateTime},
                 {"Сумма", T::Currency},
                 {"Код района", T::Long},
                 {"Служебная отметка", T::Text, 50},
                 {"Фото", T::Text, 255},
                 {"Изменено", T::DateTime}};
    s.indexes = {{"PrimaryKey", {{"номер", true}}, true, true, false, true}, {"Фамилия", {{"Фамилия", true}}}};
    return s;
}

void create_register_table(jet::Database& db) {
    jet::WriteGroup g(db);
    jet::create_table(g, register_table_spec());
    g.commit();
}

}  // namespace reg
