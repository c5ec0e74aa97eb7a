#include "errors/access.h"

#include "errors/numbers.h"

namespace errors {

namespace {

// The sentence with "%1", "%2", ... replaced by the details.
std::string filled(std::string_view sentence, const std::vector<std::string>& details) {
    std::string out;
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        if (sentence[i] == '%' && i + 1 < sentence.size() && sentence[i + 1] >= '1' && sentence[i + 1] <= '9') {
            const auto at = static_cast<std::size_t>(sentence[i + 1] - '1');
            if (at < details.size()) out += details[at];
            ++i;
        } else {
            out += sentence[i];
        }
    }
    return out;
}

}  // namespace

Message describe(AccessFault fault, const std::vector<std::string>& details) {
    int number = number::kInternal;
    const char* sentence = "";
    switch (fault) {
        case AccessFault::NoProvider:
            number = number::kProvider;
            sentence = "В строке подключения не указан поставщик данных (Provider); нужен %1.";
            break;
        case AccessFault::OtherProvider:
            number = number::kProvider;
            sentence = "Поставщик данных «%1» не поддерживается: базы данных открываются только через %2.";
            break;
        case AccessFault::NoDataSource:
            number = number::kProvider;
            sentence = "В строке подключения не указан файл базы данных (Data Source).";
            break;
        case AccessFault::Open:
            number = number::kOpen;
            sentence = "Операция не допускается, если объект открыт.";
            break;
        case AccessFault::Closed:
            number = number::kClosed;
            sentence = "Операция не допускается, если объект закрыт.";
            break;
        case AccessFault::NoCurrentRecord:
            number = number::kNoCurrentRecord;
            sentence = "Текущая запись отсутствует: достигнуто начало или конец набора записей, либо текущая запись удалена.";
            break;
        case AccessFault::NoSuchOrdinal:
            number = number::kItemNotFound;
            sentence = "Элемент не найден в коллекции, соответствующей запрошенному имени или порядковому номеру: поля с номером %1 нет "
                       "(полей %2, номера с 0).";
            break;
        case AccessFault::RowDeletedFromTable:
            number = number::kRowDeleted;
            sentence = "Запись удалена: другая программа или другой пользователь удалили ее из таблицы «%1».";
            break;
        case AccessFault::ReadOnlyRecordset:
            number = number::kUnsupported;
            sentence = "Набор записей не поддерживает изменение: он открыт только для чтения (тип блокировки 1).";
            break;
        case AccessFault::NotUpdatable:
            number = number::kNotUpdatable;
            sentence = "Поле «%1» не может быть изменено: его значения назначает база данных.";
            break;
        case AccessFault::UnsupportedStatement:
            number = number::kFromClause;
            sentence = "Запрос «%1» не поддерживается: поддерживается только SELECT * FROM таблица.";
            break;
        case AccessFault::DeleteCurrentOnly:
            number = number::kUnsupported;
            sentence = "Удалять можно только текущую запись (Delete с параметром 1).";
            break;
        case AccessFault::Conversion:
            number = number::kConversion;
            sentence = "Ошибка преобразования типа данных: поле «%1» (%2) не принимает значение %3.";
            break;
        case AccessFault::OutOfRange:
            number = number::kConversion;
            sentence = "Значение %3 лежит вне пределов, допустимых для поля «%1» (%2).";
            break;
        case AccessFault::TextTooLong:
            number = number::kFieldTooSmall;
            sentence = "Поле «%1» слишком мало для вводимых данных: в нем помещается не более %2 знаков, а введено %3.";
            break;
        case AccessFault::BytesTooLong:
            number = number::kFieldTooSmall;
            sentence = "Поле «%1» слишком мало для вводимых данных: в нем помещается не более %2 байт, а введено %3.";
            break;
    }
    return {number, filled(sentence, details)};
}

}  // namespace errors
