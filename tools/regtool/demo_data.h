// The persons of the demo register: about fifty rows of table ЗУРТ and the
// photographs that go with them. Plain data, the same for the same seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/value.h"

namespace regtool {

// Ordinals of the columns of ЗУРТ.
enum RegisterColumn : std::size_t {
    kNumber,         // номер: Long autonumber, the primary key
    kSurname,        // Фамилия
    kName,           // Имя
    kPatronymic,     // Отчество
    kBlackList,      // Блейк лист
    kBirthDate,      // Дата рождения
    kCategory,       // Категория учета
    kAddress,        // Адрес места жительства
    kSex,            // Пол
    kHeight,         // Рост
    kWeight,         // Вес
    kConvicted,      // Судимость
    kNote,           // Примечание (Memo)
    kPhone,          // Телефон
    kPassport,       // Паспорт
    kBirthPlace,     // Место рождения
    kCitizenship,    // Гражданство
    kEducation,      // Образование
    kWorkplace,      // Место работы
    kPosition,       // Должность
    kRegistered,     // Дата постановки
    kAmount,         // Сумма
    kDistrict,       // Код района
    kServiceMark,    // Служебная отметка
    kPhoto,          // Фото: file name relative to the database's folder
    kChanged,        // Изменено
    kColumnCount
};

// Values of the Пол column.
inline constexpr const char kMale[] = "мужской";
inline constexpr const char kFemale[] = "женский";

// A photograph named by a row's Фото column.
struct DemoPhoto {
    std::size_t row = 0;             // index into demo_rows()
    std::string stored_name;         // the Фото value, Windows style: "ivanov.jpg", "foto\\petrova.png"
    std::string file_path_relative;  // where the file lies under the demo folder, with '/'
    int width = 0;
    int height = 0;
    std::string format;              // "BMP", "JPG" or "PNG"
    bool present = true;             // false: the row names a file that is not written
    std::uint32_t portrait_seed = 0; // what the drawn face looks like
};

// Rows of ЗУРТ in column order; column номер is Null for the engine to number.
std::vector<std::vector<jet::Value>> demo_rows(std::uint32_t seed);
// The photographs the rows of demo_rows(seed) name, in row order.
std::vector<DemoPhoto> demo_photos(std::uint32_t seed);

}  // namespace regtool
