// Where the fields of a Jet 4 table definition lie: the header's offsets and
// the sizes of the blocks after it. The reader (table_def.cpp), the writer
// (table_writer.cpp) and the creator (create.cpp) all take them from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet::tdef {

// The header, on the definition's first page.
constexpr std::size_t kFreeSpace = 2;            // u16
constexpr std::size_t kNextPage = 4;             // u32: the definition's next page, or 0
constexpr std::size_t kLength = 8;               // u32: the definition's length in bytes
constexpr std::size_t kMagic = 12;               // u32
constexpr std::size_t kRowCount = 16;            // u32
constexpr std::size_t kAutonumber = 20;          // u32: the last autonumber given
constexpr std::size_t kAutonumberFlag = 24;      // u8: 1 in every definition Access writes
constexpr std::size_t kTableType = 40;           // u8: 0x4E user table, 0x53 system table
constexpr std::size_t kMaxColumns = 41;          // u16
constexpr std::size_t kVarColumns = 43;          // u16
constexpr std::size_t kColumnCount = 45;         // u16
constexpr std::size_t kLogicalIndexCount = 47;   // u32
constexpr std::size_t kPhysicalIndexCount = 51;  // u32
constexpr std::size_t kUsedPages = 55;           // u32: the row pointer of the table's usage map
constexpr std::size_t kFreePages = 59;           // u32: the row pointer of its free-space map
constexpr std::size_t kBlockStart = 63;          // the blocks below follow from here, in this order

// One entry per physical index: 4 bytes, then the index's row count (u32), then 4 more.
constexpr std::size_t kPhysicalCountEntry = 12;
constexpr std::size_t kPhysicalRowCount = 4;
// One entry per column, physical index and logical index.
constexpr std::size_t kColumnEntry = 25;
constexpr std::size_t kPhysicalEntry = 52;
constexpr std::size_t kLogicalEntry = 28;
constexpr std::size_t kMaxIndexColumns = 10;

// Within a column's entry.
namespace column {
constexpr std::size_t kType = 0;          // u8
constexpr std::size_t kNumber = 5;        // u16
constexpr std::size_t kVarIndex = 7;      // u16
constexpr std::size_t kSortOrder = 11;    // u16, text and memo
constexpr std::size_t kSortVersion = 14;  // u8, text and memo
constexpr std::size_t kPrecision = 11;    // u8, decimal
constexpr std::size_t kScale = 12;        // u8, decimal
constexpr std::size_t kFlags = 15;        // u8
constexpr std::size_t kMiscFlags = 16;    // u8
constexpr std::size_t kFixedOffset = 21;  // u16
constexpr std::size_t kLength = 23;       // u16
}  // namespace column

// Within a physical index's entry.
namespace physical {
constexpr std::size_t kColumns = 4;       // kMaxIndexColumns of: u16 column number (FFFF: none), u8 order (1: ascending)
constexpr std::size_t kColumnBytes = 3;
constexpr std::size_t kUsedPages = 34;    // u32: the row pointer of its usage map
constexpr std::size_t kRootPage = 38;     // u32
constexpr std::size_t kFlags = 46;        // u8
}  // namespace physical

// Within a logical index's entry.
namespace logical {
constexpr std::size_t kNumber = 4;         // u32
constexpr std::size_t kPhysical = 8;       // u32: the physical index it uses
constexpr std::size_t kRelatedIndex = 13;  // u32
constexpr std::size_t kRelatedTable = 17;  // u32: a definition page
constexpr std::size_t kKind = 23;          // u8: 1 for the primary key, 2 for a foreign key
}  // namespace logical

}  // namespace jet::tdef
