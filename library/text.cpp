// Texts of the library: UTF-8 inside, UTF-16 in the list files and in every count and comparison,
// Windows-1252 for list files without a mark.

#include "library.h"

#include "platform/text.h"

#include <bit>
#include <clocale>
#include <cstring>
#include <functional>
#include <locale.h>
#include <type_traits>
#include <wctype.h>

namespace {

// Windows-1252 0x80 to 0x9F. The five unassigned bytes map to the C1 controls of the same value,
// as the system's conversion does.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

size_t UnitsOf(char32_t cp) {
    return cp >= 0x10000 ? 2 : 1;
}

// Upper case of one UTF-16 code unit by the Unicode simple mapping; surrogates stay as they are.
char16_t UpperUnit(char16_t u) {
    if (u < 0x80) return u >= 'a' && u <= 'z' ? char16_t(u - 32) : u;
    if (u >= 0xD800 && u <= 0xDFFF) return u;
    static locale_t Unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!Unicode) return u;
    wint_t up = towupper_l(wint_t(u), Unicode);
    return up <= 0xFFFF ? char16_t(up) : u;
}

template <typename Map>
int CompareUnits(std::string_view a, std::string_view b, Map map) {
    std::u16string x = ToUtf16(a), y = ToUtf16(b);
    size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t p = map(x[i]), q = map(y[i]);
        if (p != q) return p < q ? -1 : 1;
    }
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

// The encodings of a list file, told by its mark.
enum class Encoding { Utf16, Utf8, Cp1252 };

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

// The encoding of a list file's bytes, and the bytes without the mark. False for a UTF-16BE or UTF-32
// mark.
bool FindEncoding(std::string_view &bytes, Encoding &encoding) {
    if (StartsWith(bytes, "\xFE\xFF") || StartsWith(bytes, std::string_view("\xFF\xFE\0\0", 4)) ||
        StartsWith(bytes, std::string_view("\0\0\xFE\xFF", 4)))
        return false;
    if (StartsWith(bytes, "\xFF\xFE")) {
        bytes.remove_prefix(2);
        encoding = Encoding::Utf16;
    } else if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        encoding = Encoding::Utf8;
    } else {
        encoding = Encoding::Cp1252;
    }
    return true;
}

// The code units of a list file's text: UTF-16 units read little-endian straight from the bytes (an
// odd last byte is no character), or the bytes of UTF-8 or Windows-1252.
struct Utf16Units {
    std::string_view Text;
    size_t size() const { return Text.size() / 2; }
    char16_t operator[](size_t i) const {
        return char16_t(uint8_t(Text[2 * i]) | (uint8_t(Text[2 * i + 1]) << 8));
    }
};
struct ByteUnits {
    std::string_view Text;
    size_t size() const { return Text.size(); }
    char16_t operator[](size_t i) const { return char16_t(uint8_t(Text[i])); }
};

// Calls take(start, count) for every line of the units that holds at least one unit. Empty lines
// are never handed on: a file of nothing but line ends must not cost a string per line end.
template <typename Units, typename Take>
void SplitLines(Units units, Take take) {
    const size_t count = units.size();
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        char16_t u = units[i];
        if (u > '\r' || (u != 0 && u != '\r' && u != '\n')) continue;
        if (i > start) take(start, i - start);
        if (u == '\r' && i + 1 < count && units[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < count) take(start, count - start);
}

// The UTF-8 text of the line of `count` units from unit `start`.
std::string LineText(Utf16Units units, size_t start, size_t count) {
    std::u16string line(count, u'\0');
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(line.data(), units.Text.data() + 2 * start, 2 * count);
    else
        for (size_t i = 0; i < count; ++i) line[i] = units[start + i];
    return FromUtf16(line);
}
std::string LineText(ByteUnits units, Encoding encoding, size_t start, size_t count) {
    if (encoding == Encoding::Utf8) return std::string(units.Text.substr(start, count));
    std::string out;
    out.reserve(count);
    for (size_t i = start; i < start + count; ++i) {
        uint8_t b = uint8_t(units.Text[i]);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? char32_t(Cp1252High[b - 0x80]) : char32_t(b));
    }
    return out;
}

// Hands the UTF-8 text of every line that is not empty to visit(std::string &&). Unless `count` is
// nullptr, count(number of lines) is told first how many there will be.
template <typename Count, typename Visit>
void ForEachLine(std::string_view text, Encoding encoding, Count count, Visit visit) {
    auto split = [&](auto units, auto line_text) {
        if constexpr (!std::is_null_pointer_v<Count>) {
            size_t lines = 0;
            SplitLines(units, [&](size_t, size_t) { ++lines; });
            count(lines);
        }
        SplitLines(units, [&](size_t start, size_t n) { visit(line_text(units, start, n)); });
    };
    if (encoding == Encoding::Utf16)
        split(Utf16Units{text}, [](Utf16Units u, size_t start, size_t n) { return LineText(u, start, n); });
    else
        split(ByteUnits{text},
              [encoding](ByteUnits u, size_t start, size_t n) { return LineText(u, encoding, start, n); });
}

} // namespace

std::string CutToUnits(std::string_view text, size_t units) {
    size_t n = 0, i = 0;
    while (i < text.size()) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (n + UnitsOf(cp) > units) break;
        n += UnitsOf(cp);
        i += len;
    }
    return std::string(text.substr(0, i));
}

bool DropUnits(std::string_view text, size_t units, std::string &rest) {
    size_t n = 0, i = 0;
    while (i < text.size() && n < units) {
        char32_t cp;
        i += DecodeUtf8(text, i, cp);
        n += UnitsOf(cp);
    }
    if (n > units) return false;
    rest.assign(text.substr(i));
    return true;
}

int CompareOrdinal(std::string_view a, std::string_view b) {
    return CompareUnits(a, b, [](char16_t u) { return u; });
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
    return CompareUnits(a, b, UpperUnit);
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return out;
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos;
}

bool IsMusicExtension(std::string_view extension) {
    std::string up = UpperAscii(extension);
    return up == "DSF" || up == "DFF" || up == "WV";
}

bool DecodeTextLines(std::string_view bytes, std::vector<std::string> &lines) {
    lines.clear();
    Encoding encoding;
    if (!FindEncoding(bytes, encoding)) return false;
    // Counted first, so that the list is allocated once at its size and never grows by doubling.
    ForEachLine(
        bytes, encoding, [&](size_t count) { lines.reserve(count); },
        [&](std::string &&line) { lines.push_back(std::move(line)); });
    return true;
}

bool VisitTextLines(std::string_view bytes, const std::function<void(std::string &&line)> &visit) {
    Encoding encoding;
    if (!FindEncoding(bytes, encoding)) return false;
    ForEachLine(bytes, encoding, nullptr, [&](std::string &&line) { visit(std::move(line)); });
    return true;
}

void AppendUtf16Lines(std::string &bytes, const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
        for (char16_t u : ToUtf16(line)) {
            bytes += char(u & 0xFF);
            bytes += char(u >> 8);
        }
        bytes.append("\r\0\n\0", 4);
    }
}

std::string EncodeTextLines(const std::vector<std::string> &lines) {
    std::string bytes = "\xFF\xFE";
    size_t total = 0;
    for (const std::string &line : lines) total += line.size() + 2;
    bytes.reserve(2 + 2 * total);
    AppendUtf16Lines(bytes, lines);
    return bytes;
}
