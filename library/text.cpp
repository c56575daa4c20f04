// Texts of the library: UTF-8 inside, UTF-16 in the list files and in every count and comparison,
// Windows-1252 for list files without a mark.

#include "library.h"

#include "platform/text.h"

#include <clocale>
#include <locale.h>
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

// Collects the lines of a stream of code units (UTF-16 units, or bytes of UTF-8 or Windows-1252).
template <typename Unit, typename Finish>
void SplitLines(const Unit *units, size_t count, std::vector<std::string> &lines, Finish finish) {
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        Unit u = units[i];
        if (u != 0 && u != '\r' && u != '\n') continue;
        lines.push_back(finish(units + start, i - start));
        if (u == '\r' && i + 1 < count && units[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < count) lines.push_back(finish(units + start, count - start));
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
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
    return up == "DSF" || up == "DFF";
}

bool DecodeTextLines(std::string_view bytes, std::vector<std::string> &lines) {
    lines.clear();
    if (StartsWith(bytes, "\xFE\xFF") || StartsWith(bytes, std::string_view("\xFF\xFE\0\0", 4)) ||
        StartsWith(bytes, std::string_view("\0\0\xFE\xFF", 4)))
        return false;
    if (StartsWith(bytes, "\xFF\xFE")) {
        std::u16string units((bytes.size() - 2) / 2, u'\0'); // an odd last byte is no character
        for (size_t i = 0; i < units.size(); ++i)
            units[i] = char16_t(uint8_t(bytes[2 + 2 * i]) | (uint8_t(bytes[3 + 2 * i]) << 8));
        SplitLines(units.data(), units.size(), lines,
                   [](const char16_t *p, size_t n) { return FromUtf16(std::u16string_view(p, n)); });
    } else if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        SplitLines(bytes.data(), bytes.size(), lines,
                   [](const char *p, size_t n) { return std::string(p, n); });
    } else {
        SplitLines(bytes.data(), bytes.size(), lines, [](const char *p, size_t n) {
            std::string out;
            out.reserve(n);
            for (size_t i = 0; i < n; ++i) {
                uint8_t b = uint8_t(p[i]);
                AppendUtf8(out, b >= 0x80 && b <= 0x9F ? char32_t(Cp1252High[b - 0x80]) : char32_t(b));
            }
            return out;
        });
    }
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
