// Page 0 of a database: format version, the masked header area, code page and
// default sort order. Only Jet 4 files without a password or key are accepted.
#pragma once

#include <cstdint>
#include <string>

#include "page_file.h"

namespace jet {

struct Header {
    std::uint16_t code_page = 0;
    std::uint16_t sort_order = 0;     // 1033 (0x409) is "General"
    std::uint8_t sort_version = 0;    // 0: the General order of Access 2000-2003
    double creation_date = 0;
    PageData page{};                  // page 0 with its masked area unmasked
};

// Applies Jet's fixed RC4 mask to the header area (the same call masks and unmasks).
void toggle_header_mask(PageData& page);

// Checks the start of the file and returns its header; raises NotJet, Jet3, Ace,
// Password or Encrypted with a message a person can act on.
Header read_header(PageFile& file);

// Plain RC4 over data in place.
void rc4_apply(Bytes key, std::uint8_t* data, std::size_t len);

}  // namespace jet
