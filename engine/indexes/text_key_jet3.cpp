#include "text_key_jet3.h"

namespace vantrel::jet {

namespace {

// By character U+0000..U+00FF (the code page 1252 byte, where it is one);
// "" where the code is not known. Upper and lower case share their codes.
// Read from the keys Access 97 wrote for every byte between two letters.
constexpr const char* kCodes[256] = {
    "", "\x10", "\x10", "\x10", "\x10", "\x10", "\x10", "\x10",  // 00
    "\x10", "\x11", "\x10", "\x10", "\x10", "\x10", "\x10", "\x10",  // 08
    "\x10", "\x10", "\x10", "\x10", "\x10", "\x10", "\x10", "\x10",  // 10
    "\x10", "\x10", "", "\x10", "\x10", "\x10", "\x10", "\x10",  // 18
    "\x11", "\x12", "\x13", "\x14", "\x15", "\x16", "\x17", "\x18",  // 20
    "\x19", "\x1A", "\x1B", "\x1C", "\x1D", "\x1E", "\x1F", "\x20",  // 28
    "\x56", "\x57", "\x58", "\x59", "\x5A", "\x5B", "\x5C", "\x5D",  // 30
    "\x5E", "\x5F", "\x21", "\x22", "\x23", "\x24", "\x25", "\x26",  // 38
    "\x27", "\x60", "\x61", "\x62", "\x64", "\x66", "\x67", "\x68",  // 40
    "\x69", "\x6A", "\x6B", "\x6C", "\x6D", "\x6F", "\x70", "\x72",  // 48
    "\x73", "\x74", "\x75", "\x76", "\x77", "\x78", "\x7A", "\x7B",  // 50
    "\x7C", "\x7D", "\x7E", "\x28", "\x29", "\x2A", "\x2B", "\x2C",  // 58
    "\x2D", "\x60", "\x61", "\x62", "\x64", "\x66", "\x67", "\x68",  // 60
    "\x69", "\x6A", "\x6B", "\x6C", "\x6D", "\x6F", "\x70", "\x72",  // 68
    "\x73", "\x74", "\x75", "\x76", "\x77", "\x78", "\x7A", "\x7B",  // 70
    "\x7C", "\x7D", "\x7E", "\x2E", "\x2F", "\x30", "\x31", "\x10",  // 78
    "", "\x10", "", "", "", "", "", "",  // 80
    "", "", "", "", "", "\x10", "", "\x10",  // 88
    "\x10", "", "", "", "", "", "", "",  // 90
    "", "", "", "", "", "\x10", "", "",  // 98
    "\x11", "\x3B", "\x3C", "\x3D", "\x3E", "\x3F", "\x40", "\x41",  // A0
    "\x42", "\x43", "\x44", "\x13", "\x45", "\x1E", "\x46", "\x47",  // A8
    "\x48", "\x49", "\x58", "\x59", "\x4A", "\x4B", "\x4C", "\x4D",  // B0
    "\x4E", "\x57", "\x4F", "\x13", "\x50", "\x51", "\x52", "\x53",  // B8
    "", "", "", "", "", "", "\x60\x66", "",  // C0
    "", "", "", "", "", "", "", "",  // C8
    "\x65", "", "", "", "", "", "", "\x54",  // D0
    "\x81", "", "", "", "", "", "\x7F", "\x76\x76",  // D8
    "", "", "", "", "", "", "\x60\x66", "",  // E0
    "", "", "", "", "", "", "", "",  // E8
    "\x65", "", "", "", "", "", "", "\x55",  // F0
    "\x81", "", "", "", "", "", "\x7F", "",  // F8
};

constexpr size_t kMaxChars = 255;
constexpr uint8_t kBlankCode = 0x11;  // blank, tab and no-break space

}  // namespace

bool encodeGeneral97Text(std::u16string_view text, bool ascending, std::vector<uint8_t>& out) {
    if (text.size() > kMaxChars) return false;
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);  // trailing blanks do not count
    const size_t begin = out.size();
    for (char16_t c : text) {
        const char* codes = c <= 0xFF ? kCodes[c] : "";
        if (!*codes) {
            out.resize(begin);
            return false;
        }
        for (; *codes; ++codes) out.push_back(uint8_t(*codes));
    }
    // Whether a tab or no-break space at the end is dropped like a blank is not known.
    if (out.size() > begin && out.back() == kBlankCode) {
        out.resize(begin);
        return false;
    }
    out.push_back(0x00);
    if (!ascending)
        for (size_t i = begin; i < out.size(); ++i) out[i] = uint8_t(~out[i]);
    return true;
}

}  // namespace vantrel::jet
