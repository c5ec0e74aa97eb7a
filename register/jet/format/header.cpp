#include "format/header.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace jet {

namespace {

using namespace header_layout;

constexpr std::uint8_t kMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

const char kSignatureBytes[4] = {0x00, 0x01, 0x00, 0x00};
const char kJetName[] = "Standard Jet DB";
const char kAceName[] = "Standard ACE DB";

}  // namespace

void rc4_apply(Bytes key, std::uint8_t* data, std::size_t len) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[static_cast<std::size_t>(i) % key.size()]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t k = 0; k < len; ++k) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        data[k] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

void toggle_header_mask(PageData& page) {
    rc4_apply(Bytes(kMaskKey, sizeof kMaskKey), page.data() + kMaskStart, kMaskLength);
}

Header read_header(PageFile& file) {
    const std::string& path = file.path();
    std::string start = file.read_prefix(kMaskStart);
    if (start.empty()) throw Error(ErrorKind::NotJet, "empty file, not an Access database: " + path);
    if (start.size() <= kVersion || std::memcmp(start.data() + kSignature, kSignatureBytes, 4) != 0) {
        throw Error(ErrorKind::NotJet, "not an Access database: " + path);
    }
    std::string name = start.substr(kFormatName, 15);
    bool jet = name == kJetName;
    bool ace = name == kAceName;
    if (!jet && !ace) throw Error(ErrorKind::NotJet, "not an Access database (" + name.substr(0, name.find('\0')) + "): " + path);
    auto version = static_cast<std::uint8_t>(start[kVersion]);
    if (ace || version >= 2) {
        throw Error(ErrorKind::Ace,
                    "an Access 2007 or later database (.accdb, ACE); only Access 2000-2003 (Jet 4) files are supported: " +
                        path);
    }
    if (version == 0) {
        throw Error(ErrorKind::Jet3, "an Access 97 database (Jet 3); only Access 2000-2003 (Jet 4) files are supported: " + path);
    }
    if (file.page_count() < 3) damaged("the file is too short to hold a database (" + std::to_string(file.file_size()) + " bytes)");

    Header h;
    h.page = *file.page(0);
    toggle_header_mask(h.page);
    Bytes p = bytes_of(h.page);
    h.code_page = u16(p, kCodePage);
    h.sort_order = u16(p, kSortOrder);
    h.sort_version = u8(p, kSortVersion);
    h.creation_date = f64(p, kCreationDate);

    if (u32(p, kKey) != 0) {
        throw Error(ErrorKind::Encrypted, "the database is encoded (encrypted); decode it in Access first: " + path);
    }
    // The password field is masked a second time with the integer part of the
    // creation date; an all-zero result means there is no password.
    std::uint8_t mask[4] = {0, 0, 0, 0};
    double day = h.creation_date;
    if (day == day && day > -2147483648.0 && day < 2147483648.0) {
        auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(day)));
        for (int i = 0; i < 4; ++i) mask[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    bool has_password = false;
    for (std::size_t i = 0; i < kPasswordLength; ++i) {
        if ((p[kPassword + i] ^ mask[i % 4]) != 0) has_password = true;
    }
    if (has_password) {
        throw Error(ErrorKind::Password, "the database is protected by a password, which is not supported: " + path);
    }
    return h;
}

}  // namespace jet
