// The desktop's conversion of a database for the handheld, as the ADO for
// Windows CE documentation ("Converting Data to a Device") describes it: the
// type each column gets there, the name each table and index gets, which
// indexes survive, and the limits of the device's database store. Pure
// rules over names and type codes; device_report.h applies them to a file.
//
// Where the documentation leaves a choice open, the choice made here is
// written beside the rule (and in README.md, "Before the device").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// The device's limits.
constexpr size_t kDeviceTableNameChars = 31;
constexpr size_t kDeviceNameChars = 64;  // field and index names
constexpr size_t kDeviceIndexLimit = 3;
// A memo value travels as one Unicode string property of the device's
// database, whose largest property is 65,471 bytes: 32,734 UTF-16 units
// and the terminating zero. The converter's own "too long" is not given a
// number in its documentation; this is the store's documented limit.
constexpr size_t kDeviceMemoUnits = 32734;

// Whether a column of a type is sent to the device.
enum class Sending { yes, ifSelected, no };

struct DeviceType {
    std::string name;  // "varchar", "integer", ...; "" when not sent
    Sending sending = Sending::no;
};

// The device type of a DAO type code: Text varchar, Memo (and Hyperlink)
// text, Long integer, Byte and Integer smallint, Single, Double and Currency
// double, Date/Time datetime, Yes/No boolean, Replication ID varbinary, OLE
// Object varbinary only when the user selects the column. Every other code
// (Binary, Decimal, the ACE-only types) has no row in the conversion table
// and is not sent.
DeviceType deviceTypeOf(int16_t daoType);

// The first `n` characters (code points) of UTF-8 text; its character count.
std::string firstChars(const std::string& utf8, size_t n);
size_t charCount(const std::string& utf8);
// UTF-16 units of UTF-8 text (what a device string holds).
size_t utf16Units(const std::string& utf8);
// Names compared as the device compares them: without letter case (ASCII
// letters, as the engine compares names).
bool sameDeviceName(const std::string& a, const std::string& b);

// What a table is called on the device.
struct TableNaming {
    enum class Outcome { same, cut, renamed, notCopied };
    Outcome outcome = Outcome::same;
    std::string deviceName;   // "" when not copied
    std::string clashesWith;  // renamed / not copied: the earlier table whose device name it met
};

// The tables' device names, in the order given (the engine's table order):
// each name is cut to 31 characters; a cut name that an earlier table's
// device name already has (without case) gets its last character replaced
// by the first of the digits 0-9 free; with all ten taken the table is not
// copied.
std::vector<TableNaming> nameTables(const std::vector<std::string>& names);

// One index as the desktop has it.
struct IndexShape {
    std::string name;
    std::vector<std::string> columns;
    bool primary = false, unique = false, ignoreNulls = false;
};

// What becomes of it on the device.
struct IndexFate {
    std::string deviceName;  // cut to 64 characters
    bool nameCut = false;
    bool dropped = false;                     // beyond the three the device keeps
    std::string sameNameAs;                   // an earlier index whose device name is the same (without case)
    bool firstColumnOnly = false;             // only its first column is indexed
    std::vector<std::string> attributesLost;  // "Primary", "Unique", "IgnoreNulls"
};

// The fates of a table's indexes, in the order given. Three are kept: the
// documentation does not say which, so the choice here is the order in which
// ODBC lists a table's indexes (the conversion table speaks in ODBC types):
// unique ones (the primary key among them) first, each group by name without
// case. An index whose cut name an earlier kept one already has is named
// (sameNameAs); the documentation does not say what the device does then.
std::vector<IndexFate> indexFates(const std::vector<IndexShape>& indexes);

// True when a Currency value (units of 1/10,000) is the same value after the
// device's double: the double of value / 10,000, scaled back by 10,000 and
// rounded, gives the same 64-bit number.
bool currencySurvivesDouble(int64_t scaled);

}  // namespace vantrel
