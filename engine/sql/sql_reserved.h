#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vantrel::jet {

// True when `word` (any letter case) is one of Jet SQL's reserved words.
bool isReservedWord(const std::string& word);
size_t reservedWordCount();
// Every reserved word, in capitals, sorted.
std::span<const std::string_view> reservedWords();

}  // namespace vantrel::jet
