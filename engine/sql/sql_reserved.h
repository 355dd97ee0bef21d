#pragma once

#include <cstddef>
#include <string>

namespace vantrel::jet {

// True when `word` (any letter case) is one of Jet SQL's reserved words.
bool isReservedWord(const std::string& word);
size_t reservedWordCount();

}  // namespace vantrel::jet
