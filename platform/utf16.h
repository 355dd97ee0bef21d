// UTF-8 and UTF-16 for the system calls that take wide strings.
// Invalid input never throws: bad UTF-8 bytes and lone surrogates become U+FFFD.
#pragma once

#include <string>

namespace vantrel::platform {

std::wstring Widen(const std::string& utf8);     // wchar_t is UTF-16 on Windows, UTF-32 elsewhere
std::string Narrow(const std::wstring& wide);
void AppendUtf8(std::string& out, char32_t cp);  // one code point, encoded

}  // namespace vantrel::platform
