// Page 0 of a database: format version, the masked header area, code page and
// default sort order. Only Jet 4 files without a password or key are accepted.
#pragma once

#include <cstdint>
#include <string>

#include "storage/page_file.h"

namespace jet {

struct Header {
    std::uint16_t code_page = 0;
    std::uint16_t sort_order = 0;     // 1033 (0x409) is "General"
    std::uint8_t sort_version = 0;    // 0: the General order of Access 2000-2003
    double creation_date = 0;
    PageData page{};                  // page 0 with its masked area unmasked
};

// Where page 0 keeps what, for the reader and the creator alike.
namespace header_layout {
constexpr std::size_t kSignature = 0x00;       // 00 01 00 00
constexpr std::size_t kFormatName = 0x04;      // "Standard Jet DB" (15 bytes)
constexpr std::size_t kVersion = 0x14;         // 1: Jet 4
constexpr std::size_t kMaskStart = 0x18;       // the RC4-masked area
constexpr std::size_t kMaskLength = 128;
constexpr std::size_t kCodePage = 0x3C;
constexpr std::size_t kKey = 0x3E;             // database key: not 0 when encoded
constexpr std::size_t kPassword = 0x42;        // 40 bytes, masked again with the creation day
constexpr std::size_t kPasswordLength = 40;
constexpr std::size_t kSortOrder = 0x6E;       // sort order (2 bytes), then its version at +3
constexpr std::size_t kSortVersion = kSortOrder + 3;
constexpr std::size_t kCreationDate = 0x72;    // a double
}  // namespace header_layout

// Applies Jet's fixed RC4 mask to the header area (the same call masks and unmasks).
void toggle_header_mask(PageData& page);

// Checks the start of the file and returns its header; raises NotJet, Jet3, Ace,
// Password or Encrypted with a message a person can act on.
Header read_header(PageFile& file);

// Plain RC4 over data in place.
void rc4_apply(Bytes key, std::uint8_t* data, std::size_t len);

}  // namespace jet
