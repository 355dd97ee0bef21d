// `vantrel device`: what the handheld will get of a database, and what it
// loses on the way (convert/device_report.h), as text or JSON.
#pragma once

#include <string>
#include <vector>

#include "converter.h"

namespace vantrel {

// One line for the end of `convert` when the device would lose something
// in the converted database at `db` ("" when it loses nothing); `fill` is
// what the null-fill did.
std::string deviceLossLine(const std::string& db, const std::string& password, const std::vector<FillOutcome>& fill);

}  // namespace vantrel
