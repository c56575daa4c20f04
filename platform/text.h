// platform/text.h: UTF-8 and UTF-16, in place of MultiByteToWideChar and WideCharToMultiByte.
//
// Texts are UTF-8 on Linux, but file names are bytes and need not be UTF-8. So that every name keeps a
// distinct UTF-16 spelling and comes back byte for byte, a byte b that does not begin a well-formed
// UTF-8 sequence (overlong forms, encoded surrogates and values past U+10FFFF included) stands for
// itself as the lone low surrogate DC00 + b, that is DC80 to DCFF. Every procedure here may be called
// from any thread; none keeps state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The code point at text[i] into cp, and its length in bytes (at least 1; i < text.size()). A byte
// that does not begin a well-formed sequence is taken alone, as DC00 + byte.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t &cp);
// Appends the UTF-8 bytes of one code point (at most U+10FFFF).
void AppendUtf8(std::string &out, char32_t cp);

// The text's UTF-16 code units, with the escape above.
std::u16string ToUtf16(std::string_view text);
// Back to UTF-8: DC80 to DCFF become their byte again; other unpaired surrogates become U+FFFD.
std::string FromUtf16(std::u16string_view units);
