#include "device_rules.h"

#include <algorithm>
#include <cmath>

#include "dao.h"

namespace vantrel {

DeviceType deviceTypeOf(int16_t daoType) {
    switch (daoType) {
        case dbText: return {"varchar", Sending::yes};
        case dbMemo: return {"text", Sending::yes};
        case dbLong: return {"integer", Sending::yes};
        case dbByte:
        case dbInteger: return {"smallint", Sending::yes};
        case dbSingle:
        case dbDouble:
        case dbCurrency: return {"double", Sending::yes};
        case dbDate: return {"datetime", Sending::yes};
        case dbBoolean: return {"boolean", Sending::yes};
        case dbGUID: return {"varbinary", Sending::yes};
        case dbLongBinary: return {"varbinary", Sending::ifSelected};
        default: return {"", Sending::no};
    }
}

namespace {
bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

std::string firstChars(const std::string& utf8, size_t n) {
    size_t at = 0;
    for (size_t chars = 0; at < utf8.size() && chars < n; ++chars) {
        ++at;
        while (at < utf8.size() && continuation(utf8[at])) ++at;
    }
    return utf8.substr(0, at);
}

size_t charCount(const std::string& utf8) {
    size_t n = 0;
    for (char c : utf8) n += !continuation(c);
    return n;
}

size_t utf16Units(const std::string& utf8) {
    size_t n = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (continuation(c)) continue;
        n += b >= 0xF0 ? 2 : 1;  // beyond the BMP: a surrogate pair
    }
    return n;
}

bool sameDeviceName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

namespace {
// The earlier device name equal to `name` without case, or nullptr.
const TableNaming* taken(const std::vector<TableNaming>& earlier, const std::string& name) {
    for (const TableNaming& t : earlier)
        if (!t.deviceName.empty() && sameDeviceName(t.deviceName, name)) return &t;
    return nullptr;
}
}  // namespace

std::vector<TableNaming> nameTables(const std::vector<std::string>& names) {
    std::vector<TableNaming> out;
    for (const std::string& name : names) {
        TableNaming t;
        const std::string cut = firstChars(name, kDeviceTableNameChars);
        t.outcome = cut.size() == name.size() ? TableNaming::Outcome::same : TableNaming::Outcome::cut;
        const TableNaming* clash = taken(out, cut);
        if (!clash) {
            t.deviceName = cut;
        } else {
            t.clashesWith = clash->deviceName;
            // The last character gives way to a digit.
            const std::string stem = firstChars(cut, charCount(cut) - 1);
            t.outcome = TableNaming::Outcome::notCopied;
            for (char digit = '0'; digit <= '9'; ++digit)
                if (!taken(out, stem + digit)) {
                    t.deviceName = stem + digit;
                    t.outcome = TableNaming::Outcome::renamed;
                    break;
                }
        }
        out.push_back(std::move(t));
    }
    return out;
}

namespace {
std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The places of `indexes` in the order the conversion meets them.
std::vector<size_t> odbcOrder(const std::vector<IndexShape>& indexes) {
    std::vector<size_t> order(indexes.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    auto unique = [&](size_t k) { return indexes[k].unique || indexes[k].primary; };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (unique(a) != unique(b)) return unique(a);
        return lowerAscii(indexes[a].name) < lowerAscii(indexes[b].name);
    });
    return order;
}
}  // namespace

std::vector<IndexFate> indexFates(const std::vector<IndexShape>& indexes) {
    std::vector<IndexFate> out(indexes.size());
    std::vector<std::string> kept;
    for (size_t k : odbcOrder(indexes)) {
        const IndexShape& index = indexes[k];
        IndexFate& f = out[k];
        f.deviceName = firstChars(index.name, kDeviceNameChars);
        f.nameCut = f.deviceName.size() != index.name.size();
        f.dropped = kept.size() >= kDeviceIndexLimit;
        if (f.dropped) continue;
        for (const std::string& before : kept)
            if (sameDeviceName(before, f.deviceName)) {
                f.sameNameAs = before;
                break;
            }
        kept.push_back(f.deviceName);
        f.firstColumnOnly = index.columns.size() > 1;
        if (index.primary) f.attributesLost.push_back("Primary");
        if (index.unique && !index.primary) f.attributesLost.push_back("Unique");
        if (index.ignoreNulls) f.attributesLost.push_back("IgnoreNulls");
    }
    return out;
}

bool currencySurvivesDouble(int64_t scaled) {
    const double onDevice = double(scaled) / 10000.0;
    const double back = std::nearbyint(onDevice * 10000.0);
    if (!(back >= -9223372036854775808.0 && back < 9223372036854775808.0)) return false;
    return static_cast<int64_t>(back) == scaled;
}

}  // namespace vantrel
