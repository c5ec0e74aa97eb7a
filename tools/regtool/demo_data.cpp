// The persons of the demo register. Families share a surname in its male and
// female forms and, mostly, an address; children take their father's name as
// their patronymic. A few persons carry the awkward cases a reader of real
// registers meets: a homeless man with most fields unknown, a woman whose
// fields were saved as empty strings, foreigners without a patronymic, full
// namesakes, twins, a birthday on 29 February, a note of several pages, an
// address that fills its column to the last character. Everything random comes
// from one generator seeded by the caller.
#include "demo_data.h"

#include "demo_rng.h"

#include <algorithm>
#include <string_view>

namespace regtool {
namespace {

using Row = std::vector<jet::Value>;

using Rng = DemoRng;

// ---- Places ----

struct City {
    const char* name;        // as written in an address
    const char* birth_name;  // as written in a place of birth before 1991
    const char* phone_code;  // long-distance code for a landline number
    int region;              // first two digits of a passport series
    const char* streets[4];
};

constexpr City kCities[] = {
    {"г. Москва", "г. Москва", "495", 45, {"ул. Профсоюзная", "Ленинский пр-т", "ул. Бутлерова", "Варшавское ш."}},
    {"г. Санкт-Петербург", "г. Ленинград", "812", 40, {"Невский пр-т", "ул. Марата", "Лиговский пр-т", "ул. Савушкина"}},
    {"г. Омск", "г. Омск", "3812", 52, {"ул. Красный Путь", "ул. 10 лет Октября", "пр-т Мира", "ул. Масленникова"}},
    {"г. Новосибирск", "г. Новосибирск", "383", 50, {"Красный пр-т", "ул. Фрунзе", "ул. Вокзальная магистраль", "ул. Богдана Хмельницкого"}},
    {"г. Екатеринбург", "г. Свердловск", "343", 65, {"ул. Малышева", "ул. 8 Марта", "ул. Челюскинцев", "пр-т Космонавтов"}},
    {"г. Казань", "г. Казань", "843", 92, {"ул. Баумана", "пр-т Победы", "ул. Чистопольская", "ул. Декабристов"}},
    {"г. Нижний Новгород", "г. Горький", "831", 22, {"ул. Большая Покровская", "ул. Белинского", "Московское ш.", "ул. Родионова"}},
    {"г. Самара", "г. Куйбышев", "846", 36, {"Московское ш.", "ул. Ново-Садовая", "ул. Гагарина", "ул. Победы"}},
    {"г. Ростов-на-Дону", "г. Ростов-на-Дону", "863", 60, {"ул. Большая Садовая", "пр-т Стачки", "ул. Текучёва", "пр-т Шолохова"}},
    {"г. Краснодар", "г. Краснодар", "861", 3, {"ул. Красная", "ул. Ставропольская", "ул. Северная", "ул. Тургенева"}},
    {"Московская обл., г. Подольск", "г. Подольск Московской обл.", "4967", 46, {"ул. Кирова", "ул. Февральская", "Революционный пр-т", "ул. Свердлова"}},
    {"г. Вологда", "г. Вологда", "8172", 19, {"ул. Ленинградская", "ул. Мира", "Пошехонское ш.", "ул. Северная"}},
    {"г. Мурманск", "г. Мурманск", "8152", 47, {"пр-т Ленина", "ул. Свердлова", "Кольский пр-т", "ул. Челюскинцев"}},
};

// Places of birth away from the cities above, all from Soviet times.
constexpr const char* kFarBirthPlaces[] = {
    "с. Кирилловка Пензенской обл.",         "г. Караганда Казахской ССР",
    "г. Фрунзе Киргизской ССР",              "д. Малые Ключи Вологодской обл.",
    "пос. Восточный Свердловской обл.",       "г. Тирасполь Молдавской ССР",
    "с. Верхняя Санарка Челябинской обл.",    "г. Ташкент Узбекской ССР",
};

// Exactly the 255 characters the address column holds.
constexpr const char kLongestAddress[] =
    "Российская Федерация, 644099, Омская область, г. Омск, Центральный административный округ, "
    "ул. Красный Путь, д. 101, корп. 3, кв. 187; фактически проживает: Омская область, Омский район, "
    "с. Троицкое, ул. Молодёжная, д. 15а, вход со двора, калитка у гаража";

// ---- Names ----

struct MaleName {
    const char* name;
    const char* sons;       // patronymic of his son
    const char* daughters;  // patronymic of his daughter
};

constexpr MaleName kMaleNames[] = {
    {"Александр", "Александрович", "Александровна"}, {"Алексей", "Алексеевич", "Алексеевна"},
    {"Андрей", "Андреевич", "Андреевна"},             {"Сергей", "Сергеевич", "Сергеевна"},
    {"Дмитрий", "Дмитриевич", "Дмитриевна"},          {"Иван", "Иванович", "Ивановна"},
    {"Николай", "Николаевич", "Николаевна"},          {"Михаил", "Михайлович", "Михайловна"},
    {"Владимир", "Владимирович", "Владимировна"},     {"Пётр", "Петрович", "Петровна"},
    {"Юрий", "Юрьевич", "Юрьевна"},                   {"Виктор", "Викторович", "Викторовна"},
    {"Анатолий", "Анатольевич", "Анатольевна"},       {"Геннадий", "Геннадьевич", "Геннадьевна"},
    {"Илья", "Ильич", "Ильинична"},                   {"Никита", "Никитич", "Никитична"},
    {"Фёдор", "Фёдорович", "Фёдоровна"},              {"Олег", "Олегович", "Олеговна"},
    {"Евгений", "Евгеньевич", "Евгеньевна"},          {"Константин", "Константинович", "Константиновна"},
    {"Артём", "Артёмович", "Артёмовна"},              {"Василий", "Васильевич", "Васильевна"},
    {"Григорий", "Григорьевич", "Григорьевна"},       {"Лев", "Львович", "Львовна"},
    {"Павел", "Павлович", "Павловна"},                {"Роман", "Романович", "Романовна"},
    {"Игорь", "Игоревич", "Игоревна"},                {"Кузьма", "Кузьмич", "Кузьминична"},
};

constexpr const char* kFemaleNames[] = {
    "Ольга",    "Наталья", "Елена",  "Татьяна",  "Ирина",     "Светлана",  "Анна",   "Мария",
    "Екатерина", "Людмила", "Галина", "Валентина", "Нина",     "Дарья",     "Юлия",   "Ксения",
    "Алёна",    "Зинаида", "Вера",   "Надежда",  "Любовь",    "Софья",     "Полина", "Анастасия",
};

// ---- Who is in the register ----

enum class Sex { Male, Female };

enum Trait : unsigned {
    kHomeless = 1u << 0,     // no fixed abode: nearly everything unknown
    kBlank = 1u << 1,        // optional text saved as empty strings rather than left empty
    kLongNote = 1u << 2,     // a note of several pages
    kFullAddress = 1u << 3,  // the address fills its column
    kOldPassport = 1u << 4,  // still the Soviet passport
    kTwin = 1u << 5,         // born the same day as the member before
    kLeapDay = 1u << 6,      // born on 29 February
    kNamesake = 1u << 7,     // same full name as another person here
    kWanted = 1u << 8,       // on the black list
    kUnsorted = 1u << 9,     // entered, but neither categorised nor put on record yet
};

constexpr int kNoFather = -1;      // patronymic from no one in particular
constexpr int kAbsentFather = -2;  // the family's father, who is not in the register

struct PhotoSpec {
    const char* stored = nullptr;  // Фото value; nullptr for no photo
    int width = 0, height = 0;
    const char* format = nullptr;
    bool present = true;
};

struct Member {
    Sex sex;
    int father = kNoFather;   // index of the father within the family
    int born_lo = 0;          // years of birth, or years after the father's birth
    int born_hi = 0;
    unsigned traits = 0;
    PhotoSpec photo{};
    const char* name = nullptr;        // a fixed first name instead of one from the lists
    const char* patronymic = nullptr;  // a fixed patronymic
    const char* citizenship = nullptr; // a foreign citizen: no patronymic unless fixed
    const char* passport = nullptr;    // a foreign passport number
    const char* birth_place = nullptr;
};

struct Family {
    const char* male;    // surname of the men
    const char* female;  // surname of the women
    std::vector<Member> members;
};

constexpr Sex M = Sex::Male;
constexpr Sex F = Sex::Female;

const std::vector<Family>& families() {
    static const std::vector<Family> list = {
        {"Иванов", "Иванова", {
            {M, kNoFather, 1948, 1952, 0, {"ivanov.jpg", 640, 480, "JPG"}},
            {F, kNoFather, 1949, 1954, 0, {"ivanova.jpg", 120, 160, "JPG"}},
            {M, 0, 24, 28, 0, {"foto\\ivanov-2.png", 200, 200, "PNG"}},
            {F, 0, 26, 34, 0, {}},
            {M, 2, 22, 25, 0, {"foto\\ivanov-3.jpg", 199, 201, "JPG"}},
        }},
        {"Смирнов", "Смирнова", {
            {M, kNoFather, 1940, 1944, kOldPassport, {"smirnov.bmp", 96, 128, "BMP"}},
            {M, 0, 22, 28, 0, {"smirnov-2.jpg", 300, 400, "JPG"}},
            {F, 1, 25, 30, 0, {"foto\\smirnova.png", 480, 640, "PNG"}},
        }},
        {"Кузнецов", "Кузнецова", {
            {F, kNoFather, 1960, 1968, 0, {"kuznetsova.jpg", 150, 200, "JPG"}},
            {F, kAbsentFather, 1983, 1990, 0, {}},
            {F, kAbsentFather, 1988, 1995, 0, {"foto\\kuznetsova-3.jpg", 1200, 1600, "JPG"}},
        }},
        {"Соколов", "Соколова", {
            {M, kAbsentFather, 1979, 1986, 0, {"sokolov.png", 201, 199, "PNG"}},
            {M, kAbsentFather, 0, 0, kTwin, {"sokolov-2.png", 201, 199, "PNG"}},
        }},
        {"Вишневский", "Вишневская", {
            {M, kNoFather, 1955, 1965, kWanted, {}},
            {F, 0, 25, 30, 0, {"vishnevskaya.jpg", 200, 250, "JPG"}},
        }},
        {"Шевченко", "Шевченко", {
            {M, kNoFather, 1960, 1970, 0, {"shevchenko.bmp", 200, 200, "BMP"}},
            {F, kNoFather, 1962, 1972, 0, {"shevchenko-2.bmp", 120, 160, "BMP"}},
        }},
        {"Попов", "Попова", {
            {M, kNoFather, 1958, 1966, 0, {}},
            {M, 0, 20, 27, 0, {"foto\\popov.jpg", 240, 320, "JPG"}},
        }},
        {"Морозов", "Морозова", {
            {F, kNoFather, 1965, 1975, 0, {"Morozova.JPG", 640, 480, "JPG"}},
            {M, kAbsentFather, 1990, 2000, 0, {"morozov.jpg", 120, 160, "JPG"}},
        }},
        {"Лебедев", "Лебедева", {
            {M, kAbsentFather, 1975, 1985, 0, {}},
            {F, kAbsentFather, 1978, 1988, 0, {"lebedeva.png", 199, 201, "PNG"}},
        }},
        {"Новиков", "Новикова", {
            {M, kNoFather, 1950, 1960, 0, {}},
            {F, 0, 24, 32, 0, {"novikova.jpg", 120, 160, "JPG"}},
            {M, 0, 27, 35, 0, {"foto\\novikov.bmp", 640, 480, "BMP"}},
        }},
        {"Фёдоров", "Фёдорова", {
            {M, kNoFather, 1945, 1955, 0, {"fedorov.jpg", 100, 100, "JPG"}},
            {F, kNoFather, 1947, 1957, 0, {}},
        }},
        {"Ильин", "Ильина", {
            {M, kAbsentFather, 1968, 1976, 0, {"ilin.png", 150, 200, "PNG"}},
            {F, kAbsentFather, 1970, 1980, 0, {}},
        }},
        // Persons without relatives in the register.
        {"Волков", "Волкова", {{M, kNoFather, 1970, 1990, 0, {}}}},
        {"Зайцев", "Зайцева", {{F, kNoFather, 1985, 2000, 0, {"foto\\zaytseva.jpg", 120, 160, "JPG"}}}},
        {"Павлов", "Павлова", {{M, kNoFather, 1955, 1975, kWanted, {}}}},
        {"Семёнов", "Семёнова", {{F, kNoFather, 1960, 1980, 0, {"semenova.png", 200, 200, "PNG"}}}},
        {"Голубев", "Голубева", {{M, kNoFather, 1950, 1975, kHomeless, {}}}},
        {"Виноградов", "Виноградова", {{F, kNoFather, 1990, 2005, 0, {"vinogradova.jpg", 300, 400, "JPG"}}}},
        {"Богданов", "Богданова", {{M, kNoFather, 1980, 1995, 0, {"bogdanov.bmp", 199, 201, "BMP"}}}},
        {"Воробьёв", "Воробьёва", {{F, kNoFather, 1980, 1992, kLeapDay, {"foto\\vorobyova.png", 200, 200, "PNG"}}}},
        {"Михайлов", "Михайлова", {{M, kNoFather, 1940, 1950, 0, {"mikhaylov.jpg", 120, 160, "JPG"}}}},
        {"Беляев", "Беляева", {{F, kNoFather, 1975, 1990, kBlank, {}}}},
        {"Тарасов", "Тарасова", {{M, kNoFather, 1965, 1980, kLongNote | kWanted, {"tarasov.jpg", 120, 160, "JPG"}}}},
        {"Орлов", "Орлова", {{F, kNoFather, 1995, 2005, 0, {"orlova.png", 96, 128, "PNG"}}}},
        {"Киселёв", "Киселёва", {{M, kNoFather, 1972, 1985, 0, {"foto\\kiselev.jpg", 120, 160, "JPG", false}}}},
        {"Макаров", "Макарова", {{F, kNoFather, 1950, 1965, 0, {}}}},
        {"Андреев", "Андреева", {{M, kNoFather, 1985, 2003, kFullAddress, {"andreev.jpg", 800, 600, "JPG"}}}},
        {"Гусев", "Гусева", {{F, kNoFather, 1945, 1960, 0, {"guseva.bmp", 120, 160, "BMP"}}}},
        {"Сорокин", "Сорокина", {{M, kNoFather, 2000, 2005, 0, {"foto\\sorokin.jpg", 200, 200, "JPG"}}}},
        {"Кудрявцев", "Кудрявцева", {{F, kNoFather, 1970, 1985, kUnsorted, {}}}},
        // Two men of the same full name, told apart by the date of birth.
        {"Баранов", "Баранова", {{M, kNoFather, 1962, 1966, kNamesake, {"baranov.jpg", 120, 160, "JPG"}, "Олег", "Игоревич"}}},
        {"Баранов", "Баранова", {{M, kNoFather, 1975, 1980, kNamesake | kWanted, {}, "Олег", "Игоревич"}}},
        {"Озолс", "Озола", {{M, kNoFather, 1970, 1980, 0, {"ozols.png", 200, 200, "PNG"}, "Янис", nullptr,
                              "Латвийская Республика", "LV4521879", "г. Рига"}}},
        {"Мюллер", "Мюллер", {{F, kNoFather, 1985, 1995, 0, {}, "Анна", "", "Федеративная Республика Германия",
                               "C01X2T7K9", "г. Дрезден"}}},
    };
    return list;
}

// ---- What persons are registered for, and what is known of them ----

struct Category {
    const char* name;
    int convicted_percent;  // how many of them have a record
};

constexpr Category kCategories[] = {
    {"профилактический учёт", 30},          {"административный надзор", 100},
    {"условное осуждение", 100},            {"условно-досрочное освобождение", 100},
    {"семейное неблагополучие", 20},        {"розыск", 50},
    {"контроль по месту жительства", 40},
};
constexpr const char kMinorsCategory[] = "учёт в подразделении по делам несовершеннолетних";
constexpr const char kHomelessCategory[] = "лицо без определённого места жительства";

constexpr const char* kEducationLevels[] = {
    "высшее", "высшее", "среднее профессиональное", "среднее профессиональное", "среднее общее",
    "основное общее", "неоконченное высшее", "начальное профессиональное",
};

struct Job {
    const char* place;
    const char* position;
    bool men_mostly;
};

constexpr Job kJobs[] = {
    {"ООО «Стройинвест»", "прораб", true},
    {"ПАО «Сбербанк», доп. офис № 8634/0101", "специалист", false},
    {"МБОУ «Средняя общеобразовательная школа № 12»", "учитель", false},
    {"ОАО «РЖД», Западно-Сибирская дирекция инфраструктуры", "монтёр пути", true},
    {"ИП Гусев А. В.", "продавец", false},
    {"ООО «Автоколонна 1417»", "водитель", true},
    {"АО «Водоканал»", "слесарь аварийно-восстановительных работ", true},
    {"ГБУЗ «Городская клиническая больница № 1»", "санитар", false},
    {"ООО \"Вектор-М\"", "менеджер по продажам", false},
    {"ЧОП «Щит»", "охранник", true},
    {"ТЦ «Галерея», склад", "кладовщик", false},
    {"не работает", "", false},
};

constexpr const char* kServiceMarks[] = {
    "проверен", "на контроле", "запрос направлен", "требует уточнения", "снят с контроля", "сверено с ИЦ",
};

constexpr const char* kShortNotes[] = {
    "Проживает с родителями.",
    "Характеризуется удовлетворительно.",
    "Жалоб от соседей не поступало.",
    "Сменил место жительства, новый адрес уточняется.",
    "Имеет двоих детей.",
    "Ранее привлекался к административной ответственности.",
};

constexpr const char* kLongerNotes[] = {
    "Со слов соседей, по месту регистрации появляется редко, фактически проживает у знакомой. "
    "Рекомендовано провести повторную проверку в вечернее время.",
    "Взыскание по постановлению от 14.03.2019 погашено частично; остаток задолженности подтверждён "
    "справкой судебного пристава.\r\nПовторное уведомление вручено лично под роспись.",
    "Характеристика с места работы: «исполнителен, нарушений трудовой дисциплины не допускал». "
    "Приобщена копия трудового договора; срок действия — до 31.12.2025.",
    "Пояснил: \"был проездом; вещи оставил у знакомого\". Проверка показала, что знакомый по указанному "
    "адресу не проживает, квартира сдаётся посуточно.",
};

constexpr const char kNamesakeNote[] =
    "Внимание: в реестре есть полный тёзка (те же фамилия, имя и отчество, другая дата рождения). "
    "При запросах сверять по дате рождения и паспортным данным.";

constexpr const char* kDiaryEvents[] = {
    "проведена профилактическая беседа по месту жительства, разъяснены обязанности",
    "проверен по месту жительства в вечернее время, находился дома",
    "по месту жительства отсутствовал, оставлено уведомление о явке",
    "явился по уведомлению, дал объяснение о причинах неявки",
    "опрошены соседи: характеризуют удовлетворительно, жалоб не поступало",
    "направлен запрос в центр занятости населения",
    "получен ответ из центра занятости: на учёте не состоит",
    "составлен протокол об административном правонарушении (ст. 19.24 КоАП РФ)",
    "вручена копия постановления суда, разъяснён порядок обжалования",
    "сообщил о намерении сменить место работы; новое место уточняется",
    "проверен по месту работы, со слов руководителя нарушений трудовой дисциплины не допускает",
};

constexpr const char* kMobilePrefixes[] = {"903", "905", "912", "913", "916", "921", "926", "950", "960", "983", "999"};

// ---- Small helpers ----

std::string pad(int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

std::string digits(Rng& rng, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + rng.range(0, 9));
    return s;
}

// Characters of a UTF-8 text as UTF-16 counts them.
std::size_t utf16_length(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) n += (c >= 0xF0) ? 2 : 1;
    }
    return n;
}

jet::DateTime date(int year, int month, int day) { return jet::from_civil(jet::CivilTime{year, month, day}); }

int year_of(jet::DateTime d) { return static_cast<int>(jet::to_civil(d).year); }

// The same day some years later; 29 February becomes 28 February in a common year.
jet::DateTime years_after(jet::DateTime d, int years) {
    jet::CivilTime c = jet::to_civil(d);
    c.year += years;
    bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
    if (c.month == 2 && c.day == 29 && !leap) c.day = 28;
    return jet::from_civil(c);
}

// A whole day in [from, to].
jet::DateTime day_between(Rng& rng, jet::DateTime from, jet::DateTime to) {
    return jet::DateTime{from.days + rng.range(0, static_cast<int>(to.days - from.days))};
}

// The day at an office hour.
jet::DateTime office_time(Rng& rng, jet::DateTime day) {
    jet::CivilTime c = jet::to_civil(day);
    c.hour = rng.range(8, 19);
    c.minute = rng.range(0, 59);
    c.second = rng.range(0, 59);
    return jet::from_civil(c);
}

std::string dotted(jet::DateTime d) {
    jet::CivilTime c = jet::to_civil(d);
    return pad(c.day, 2) + "." + pad(c.month, 2) + "." + std::to_string(c.year);
}

// Every draw from the generator is a statement of its own: the order in which
// the operands of one expression are evaluated is not fixed, and the same seed
// must give the same register whatever the compiler.

std::string make_address(Rng& rng, const City& city) {
    std::string s = std::string(city.name) + ", " + rng.pick(city.streets);
    s += ", д. " + std::to_string(rng.range(1, 150));
    if (rng.chance(10)) s += rng.chance(50) ? "а" : "б";
    if (rng.chance(15)) s += ", корп. " + std::to_string(rng.range(1, 4));
    if (rng.chance(80)) s += ", кв. " + std::to_string(rng.range(1, 240));
    return s;
}

// "123-45-67": groups of digits, first of them `head` long.
std::string number(Rng& rng, int head) {
    std::string s = digits(rng, head);
    s += "-" + digits(rng, 2);
    s += "-" + digits(rng, 2);
    return s;
}

std::string make_phone(Rng& rng, const City& city) {
    // A local number has seven digits after a three-digit code, six after a four-digit one.
    const int head = std::string_view(city.phone_code).size() == 3 ? 3 : 2;
    int kind = rng.range(0, 99);
    std::string local = number(rng, head);
    std::string mobile = "+7 (" + std::string(rng.pick(kMobilePrefixes)) + ") ";
    mobile += number(rng, 3);
    if (kind < 60) return mobile;
    if (kind < 85) return "8 (" + std::string(city.phone_code) + ") " + local;
    return local + ", " + mobile;  // home number as dialled in town, and a mobile one
}

// A note of several pages: the diary of the work with the person.
std::string make_diary(Rng& rng, jet::DateTime from) {
    std::string s = "Хронология профилактической работы:\r\n";
    jet::DateTime d = from;
    int entries = 0;
    while (utf16_length(s) < 5200) {
        d = jet::DateTime{d.days + rng.range(14, 45)};
        s += dotted(d) + " — ";
        s += rng.pick(kDiaryEvents);
        s += ".\r\n";
        ++entries;
    }
    s += "Всего записей: " + std::to_string(entries) + ".";
    return s;
}

jet::Value text(const char* s) { return jet::Value{std::string(s)}; }
jet::Value text(std::string s) { return jet::Value{std::move(s)}; }

// A text that is sometimes Null and sometimes empty.
jet::Value sometimes(Rng& rng, int null_percent, int empty_percent, jet::Value v) {
    int r = rng.range(0, 99);
    if (r < null_percent) return jet::Null{};
    if (r < null_percent + empty_percent) return text("");
    return v;
}

// ---- The rows ----

struct Register {
    std::vector<Row> rows;
    std::vector<DemoPhoto> photos;
};

struct Person {
    int male_name = -1;  // index into kMaleNames for a man named from the list
    jet::DateTime birth;
};

Register build(std::uint32_t seed) {
    Rng rng(0x5A0C1E7D00000000ull ^ seed);
    const jet::DateTime first_birth = date(1940, 1, 1);
    const jet::DateTime last_birth = date(2005, 12, 31);
    const jet::DateTime today = date(2025, 3, 31);
    Register reg;

    for (const Family& family : families()) {
        std::vector<Person> people;
        std::vector<std::string> used_names;
        const std::size_t absent_father = rng.next() % std::size(kMaleNames);
        const City* home_city = &rng.pick(kCities);
        const std::string home = make_address(rng, *home_city);

        for (const Member& m : family.members) {
            Person p;
            Row row(kColumnCount, jet::Null{});
            const bool male = m.sex == Sex::Male;
            const Person* father = m.father >= 0 ? &people[static_cast<std::size_t>(m.father)] : nullptr;

            // Name and patronymic.
            std::string name;
            if (m.name) {
                name = m.name;
            } else {
                do {
                    if (male) {
                        p.male_name = static_cast<int>(rng.next() % std::size(kMaleNames));
                        name = kMaleNames[p.male_name].name;
                    } else {
                        name = rng.pick(kFemaleNames);
                    }
                } while (std::find(used_names.begin(), used_names.end(), name) != used_names.end());
            }
            used_names.push_back(name);
            std::size_t from = static_cast<std::size_t>(rng.next() % std::size(kMaleNames));
            if (m.father == kAbsentFather) from = absent_father;
            if (father && father->male_name >= 0) from = static_cast<std::size_t>(father->male_name);
            jet::Value patronymic = text(male ? kMaleNames[from].sons : kMaleNames[from].daughters);
            if (m.patronymic) patronymic = text(m.patronymic);
            else if (m.citizenship) patronymic = jet::Null{};

            // Birth.
            if ((m.traits & kTwin) && !people.empty()) {
                p.birth = people.back().birth;
            } else {
                int lo = father ? year_of(father->birth) + m.born_lo : m.born_lo;
                int hi = father ? year_of(father->birth) + m.born_hi : m.born_hi;
                lo = std::clamp(lo, 1940, 2005);
                hi = std::clamp(hi, lo, 2005);
                if (m.traits & kLeapDay) {
                    p.birth = date(rng.range(lo, hi) / 4 * 4, 2, 29);
                } else {
                    p.birth = day_between(rng, date(lo, 1, 1), date(hi, 12, 31));
                }
                p.birth = jet::DateTime{std::clamp(p.birth.days, first_birth.days, last_birth.days)};
            }
            const int born = year_of(p.birth);

            const City& city = people.empty() || rng.chance(75) ? *home_city : rng.pick(kCities);
            const bool at_home = &city == home_city;

            row[kSurname] = text(male ? family.male : family.female);
            row[kName] = text(name);
            row[kPatronymic] = patronymic;
            row[kSex] = text(male ? kMale : kFemale);
            row[kBirthDate] = p.birth;

            // Why the person is registered, and since when.
            const Category& category = rng.pick(kCategories);
            jet::Value registered;
            if (born >= 2002) {
                row[kCategory] = text(kMinorsCategory);
                registered = day_between(rng, years_after(p.birth, 14), years_after(p.birth, 17));
            } else {
                row[kCategory] = rng.chance(4) ? jet::Value{jet::Null{}} : text(category.name);
                jet::DateTime lo = years_after(p.birth, 14);
                if (lo.days < date(1995, 1, 1).days) lo = date(1995, 1, 1);
                registered = day_between(rng, lo, date(2024, 12, 31));
            }
            if (rng.chance(6) || (m.traits & kUnsorted)) registered = jet::Null{};
            if (m.traits & kLongNote) registered = day_between(rng, date(2008, 1, 1), date(2010, 12, 31));
            row[kRegistered] = registered;
            row[kConvicted] = born < 2002 && rng.chance(category.convicted_percent);

            int mark = rng.range(0, 99);
            row[kBlackList] = (m.traits & kWanted) || mark < 12 ? text("да")
                              : mark < 45                        ? text("нет")
                              : mark < 55                        ? text("")
                                                                 : jet::Value{jet::Null{}};

            row[kAddress] = m.traits & kFullAddress ? text(kLongestAddress)
                            : at_home              ? text(home)
                                                   : text(make_address(rng, city));

            row[kHeight] = rng.chance(5) ? jet::Value{jet::Null{}}
                                         : jet::Value{std::int64_t{male ? rng.range(162, 193) : rng.range(152, 178)}};
            row[kWeight] = rng.chance(5) ? jet::Value{jet::Null{}}
                                         : jet::Value{(male ? rng.range(600, 1050) : rng.range(480, 880)) / 10.0};

            int note = rng.range(0, 99);
            if (m.traits & kNamesake) row[kNote] = text(kNamesakeNote);
            else if (note < 35) row[kNote] = jet::Null{};
            else if (note < 42) row[kNote] = text("");
            else if (note < 75) row[kNote] = text(rng.pick(kShortNotes));
            else row[kNote] = text(rng.pick(kLongerNotes));

            row[kPhone] = sometimes(rng, 10, 5, text(make_phone(rng, city)));

            if (m.passport) {
                row[kPassport] = text(m.passport);
            } else if (m.traits & kOldPassport) {
                row[kPassport] = text("IV-КН " + digits(rng, 6));
            } else {
                int issued = rng.range(std::max(born + 14, 1998), 2024);
                std::string series = pad(city.region, 2) + " " + pad(issued % 100, 2) + " ";
                row[kPassport] = sometimes(rng, 5, 0, text(series + digits(rng, 6)));
            }

            if (m.citizenship) {
                row[kBirthPlace] = text(m.birth_place);
                row[kCitizenship] = text(m.citizenship);
            } else {
                const City& birth_city = at_home ? *home_city : rng.pick(kCities);
                if (born < 1991 && rng.chance(30)) row[kBirthPlace] = text(rng.pick(kFarBirthPlaces));
                else row[kBirthPlace] = text(born < 1991 ? birth_city.birth_name : birth_city.name);
                if (rng.chance(4)) row[kBirthPlace] = jet::Null{};
                row[kCitizenship] = rng.chance(4) ? text("Республика Казахстан") : text("Российская Федерация");
            }

            if (born >= 2001) {
                row[kEducation] = text("среднее общее");
            } else {
                row[kEducation] = sometimes(rng, 8, 3, text(rng.pick(kEducationLevels)));
            }
            if (born < 1962 && rng.chance(60)) {
                row[kWorkplace] = text("пенсионер");
            } else if (born >= 2001) {
                row[kWorkplace] = text("ГБПОУ «Колледж связи № 54»");
                row[kPosition] = text("студент");
            } else {
                const Job* job = &rng.pick(kJobs);
                while (!male && job->men_mostly) job = &rng.pick(kJobs);
                row[kWorkplace] = text(job->place);
                row[kPosition] = sometimes(rng, 10, 0, text(job->position));
            }

            int amount = rng.range(0, 99);
            if (amount < 25) row[kAmount] = jet::Null{};
            else if (amount < 40) row[kAmount] = jet::Currency{0};
            else {
                std::int64_t rubles = rng.range(500, 45000);
                std::int64_t kopecks = rng.range(0, 99);
                row[kAmount] = jet::Currency{(rubles * 100 + kopecks) * 100};
            }

            row[kDistrict] = rng.chance(8) ? jet::Value{jet::Null{}}
                                           : jet::Value{std::int64_t{city.region * 100 + rng.range(1, 24)}};
            row[kServiceMark] = sometimes(rng, 15, 10, text(rng.pick(kServiceMarks)));

            if (rng.chance(5)) {
                row[kChanged] = jet::Null{};
            } else {
                jet::DateTime since = is_null(registered) ? date(2019, 1, 1) : std::get<jet::DateTime>(registered);
                row[kChanged] = office_time(rng, day_between(rng, since, today));
            }

            // The persons who are not ordinary.
            if (m.traits & kLongNote) {
                row[kNote] = text(make_diary(rng, std::get<jet::DateTime>(registered)));
                row[kAmount] = jet::Currency{-15'005'000};  // an overpayment to be returned
            }
            if (m.traits & kFullAddress) row[kAmount] = jet::Currency{12'345'678'900};
            if (m.traits & kUnsorted) {
                row[kCategory] = jet::Null{};
                row[kServiceMark] = text("требует уточнения");
            }
            if (m.traits & kHomeless) {
                row[kCategory] = text(kHomelessCategory);
                for (RegisterColumn c : {kBirthDate, kAddress, kHeight, kWeight, kPhone, kPassport, kBirthPlace,
                                         kCitizenship, kEducation, kWorkplace, kPosition, kAmount, kDistrict, kChanged}) {
                    row[c] = jet::Null{};
                }
                row[kServiceMark] = text("на контроле");
            }
            if (m.traits & kBlank) {
                for (RegisterColumn c : {kBlackList, kCategory, kAddress, kNote, kPhone, kPassport, kBirthPlace,
                                         kCitizenship, kEducation, kWorkplace, kPosition, kServiceMark, kPhoto}) {
                    row[c] = text("");
                }
            }

            if (m.photo.stored) {
                DemoPhoto photo;
                photo.row = reg.rows.size();
                photo.stored_name = m.photo.stored;
                photo.file_path_relative = photo.stored_name;
                std::replace(photo.file_path_relative.begin(), photo.file_path_relative.end(), '\\', '/');
                photo.width = m.photo.width;
                photo.height = m.photo.height;
                photo.format = m.photo.format;
                photo.present = m.photo.present;
                photo.portrait_seed = static_cast<std::uint32_t>(rng.next());
                row[kPhoto] = text(photo.stored_name);
                reg.photos.push_back(std::move(photo));
            }

            reg.rows.push_back(std::move(row));
            people.push_back(p);
        }
    }
    return reg;
}

}  // namespace

std::vector<std::vector<jet::Value>> demo_rows(std::uint32_t seed) { return build(seed).rows; }

std::vector<DemoPhoto> demo_photos(std::uint32_t seed) { return build(seed).photos; }

}  // namespace regtool
