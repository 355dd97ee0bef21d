// What the null-fill would do to a database, found by running it with every
// change kept in memory (scratch_env.h): the file is only read.
#pragma once

#include <string>
#include <vector>

#include "converter.h"

namespace vantrel {

struct FillPreview {
    std::vector<FillOutcome> outcomes;  // per column, as Converter::outcomes() gives them
    std::string failure;                // the error that would stop the null-fill, "" when none
};

// The null-fill of the named tables (every user table when empty) of the
// database at `path`, opened with `password`, run on a scratch copy.
FillPreview previewNullFill(const std::string& path, const std::string& password, const std::vector<std::string>& tables);

}  // namespace vantrel
