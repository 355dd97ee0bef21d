// What the device will get of a database, table by table and column by
// column, and every loss on the way: the desktop's conversion
// (device_rules.h), what the null-fill leaves Null, and what the script file
// cannot carry. A model only; the command line writes it as text or JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "converter.h"
#include "dao.h"
#include "script_file.h"

namespace vantrel {

// One loss: `kind` is stable for tools ("name-cut", "nulls-left", ...),
// `text` says it for a person, with the numbers.
struct DeviceLoss {
    std::string kind;
    std::string text;
};

struct DeviceColumn {
    std::string name;
    int16_t type = 0;
    std::string deviceType;  // "" when not sent
    long nulls = 0;          // Null values as the database stands
    long nullsLeft = 0;      // of them, the ones convert leaves
    size_t longest = 0;      // text and memo: the longest value, in UTF-16 units
    std::vector<DeviceLoss> losses;
};

struct DeviceIndex {
    std::string name, deviceName;
    std::vector<std::string> columns;
    std::vector<DeviceLoss> losses;
};

struct DeviceTable {
    std::string name, deviceName;  // deviceName "" when the table is not copied
    long rows = 0;
    std::vector<DeviceLoss> losses;  // the table's own
    std::vector<DeviceColumn> columns;
    std::vector<DeviceIndex> indexes;
    size_t lossCount() const;
};

struct DeviceReport {
    std::string charset;      // the script file's character set
    std::string fillFailure;  // the null-fill stops at this error ("" when it runs through)
    std::vector<DeviceTable> tables;
    size_t lossCount() const;
    size_t tablesWithLosses() const;
};

// The report of `tables`. `userTables` are every user table's names
// in the engine's order (device names depend on all of them); `fill` is what
// the null-fill did or would do to each column (null_fill_preview.h);
// `script` is the character set the script file is written in.
DeviceReport reportDevice(const std::vector<TableDef>& tables, const std::vector<std::string>& userTables,
                          const std::vector<FillOutcome>& fill, const ScriptEncoder& script);

}  // namespace vantrel
