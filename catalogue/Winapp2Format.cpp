#include "catalogue/Winapp2Format.h"
#include "texts/Texts.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <unordered_map>

namespace {

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

std::wstring Upper(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = UpperAscii(c);
    return out;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::wstring_view TrimView(std::wstring_view text) {
    size_t first = 0, last = text.size();
    while (first < last && (text[first] == L' ' || text[first] == L'\t' || text[first] == 0xFEFF)) ++first;
    while (last > first && (text[last - 1] == L' ' || text[last - 1] == L'\t' || text[last - 1] == L'\r')) --last;
    return text.substr(first, last - first);
}

std::wstring Trim(std::wstring_view text) { return std::wstring(TrimView(text)); }

// The trimmed parts as views into Text: tens of thousands of keys are split
// while the file is read, and most parts are only looked at.
// Parts is cleared first; the reader passes the same two vectors to every key.
void SplitViews(std::wstring_view text, wchar_t separator, std::vector<std::wstring_view>& parts) {
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(TrimView(text.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start)));
        if (at == std::wstring_view::npos) return;
        start = at + 1;
    }
}

// The vectors a key's value is split into, kept from one key to the next.
struct TSplitScratch {
    std::vector<std::wstring_view> Parts, Patterns;
};

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring_view> views;
    SplitViews(text, separator, views);
    std::vector<std::wstring> parts;
    for (const std::wstring_view part : views) parts.emplace_back(part);
    return parts;
}

// The key's name without its number: "FileKey12" gives "FileKey"; Number is
// false when the name ends in no digits.
std::wstring_view KeyStem(std::wstring_view key, bool& numbered) {
    size_t end = key.size();
    while (end > 0 && key[end - 1] >= L'0' && key[end - 1] <= L'9') --end;
    numbered = end < key.size();
    return key.substr(0, end);
}

void AppendUtf8(std::string_view bytes, std::wstring& out) {
    size_t i = 0;
    const auto cont = [&](size_t k) { return k < bytes.size() && (static_cast<unsigned char>(bytes[k]) & 0xC0) == 0x80; };
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        uint32_t cp = 0xFFFD;
        size_t length = 1;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
            cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(bytes[i + 1]) & 0x3Fu);
            length = 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
            cp = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(bytes[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(bytes[i + 2]) & 0x3Fu);
            length = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
        } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(bytes[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(bytes[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(bytes[i + 3]) & 0x3Fu);
            length = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
}

bool ParseBool(std::wstring_view text) { return SameText(text, L"True") || text == L"1"; }

// A FileKey value; empty error when it reads.
std::wstring ParseFileKey(std::wstring_view key, std::wstring_view value, TWinapp2FileKey& out, TSplitScratch& scratch) {
    const std::vector<std::wstring_view>& parts = scratch.Parts;
    SplitViews(value, L'|', scratch.Parts);
    if (parts[0].empty()) return FormatText(TTextId::Winapp2ErrorNoPath, key);
    if (parts.size() < 2 || parts[1].empty()) return FormatText(TTextId::Winapp2ErrorNoFileName, key);
    out.Name = key;
    out.Path = parts[0];
    SplitViews(parts[1], L';', scratch.Patterns);
    out.Patterns.reserve(scratch.Patterns.size());
    for (const std::wstring_view pattern : scratch.Patterns) {
        if (pattern.empty()) continue;
        if (pattern.find_first_of(L"\\/:") != std::wstring_view::npos)
            return FormatText(TTextId::Winapp2ErrorPathInFileName, key, pattern);
        out.Patterns.push_back(PatternMatchesEveryName(pattern) ? std::wstring(L"*") : std::wstring(pattern));
    }
    if (out.Patterns.empty()) return FormatText(TTextId::Winapp2ErrorNoFileName, key);
    for (size_t i = 2; i < parts.size(); ++i) {
        if (SameText(parts[i], L"RECURSE"))
            out.Recurse = true;
        else if (SameText(parts[i], L"REMOVESELF"))
            out.RemoveSelf = out.Recurse = true;
        else if (!parts[i].empty())
            return FormatText(TTextId::Winapp2ErrorUnknownFlag, key, parts[i]);
    }
    return {};
}

std::wstring ParseExcludeKey(std::wstring_view key, std::wstring_view value, TWinapp2Exclude& out,
                             TSplitScratch& scratch) {
    const std::vector<std::wstring_view>& parts = scratch.Parts;
    SplitViews(value, L'|', scratch.Parts);
    if (parts.size() < 2 || parts[1].empty()) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    out.Name = key;
    if (SameText(parts[0], L"REG")) {
        out.Kind = TWinapp2Exclude::ekReg;
        out.Path = parts[1];
        if (parts.size() > 2) out.Value = parts[2];
        return {};
    }
    if (!SameText(parts[0], L"FILE") && !SameText(parts[0], L"PATH")) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    out.Kind = SameText(parts[0], L"FILE") ? TWinapp2Exclude::ekFile : TWinapp2Exclude::ekPath;
    std::wstring path(parts[1]);
    std::wstring patterns = parts.size() > 2 ? std::wstring(parts[2]) : std::wstring();
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    if (patterns.empty() && out.Kind == TWinapp2Exclude::ekFile) {
        // FILE|C:\folder\name.log: the last part is the file's name.
        const size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
        patterns = path.substr(slash + 1);
        path.resize(slash);
    }
    out.Path = path;
    // Split like a FileKey's: "*.ini;*.bak" keeps both kinds, never the one name "*.ini;*.bak".
    SplitViews(patterns, L';', scratch.Patterns);
    for (const std::wstring_view pattern : scratch.Patterns) {
        if (pattern.empty()) continue;
        if (pattern.find_first_of(L"\\/:") != std::wstring_view::npos) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
        out.Patterns.push_back(PatternMatchesEveryName(pattern) ? std::wstring(L"*") : std::wstring(pattern));
    }
    if (out.Patterns.empty()) out.Patterns.push_back(L"*");
    return {};
}

std::wstring ParseRegKey(std::wstring_view key, std::wstring_view value, TWinapp2RegKey& out, TSplitScratch& scratch) {
    const std::vector<std::wstring_view>& parts = scratch.Parts;
    SplitViews(value, L'|', scratch.Parts);
    if (parts[0].empty() || parts.size() > 2) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    out.Name = key;
    out.Key = parts[0];
    if (parts.size() == 2) {
        if (parts[1].empty()) return FormatText(TTextId::Winapp2ErrorNoValueName, key);
        out.Value = std::wstring(parts[1]);
    }
    return {};
}

void Refuse(TWinapp2Entry& entry, const std::wstring& reason) {
    if (entry.Refusal.empty()) entry.Refusal = reason;
}

// One key line of an entry. False when the line is not a key this format knows.
bool ReadKey(TWinapp2Entry& entry, std::wstring_view key, std::wstring_view value, TSplitScratch& scratch) {
    bool numbered = false;
    const std::wstring_view stem = KeyStem(key, numbered);
    if (SameText(key, L"LangSecRef")) {
        try {
            entry.LangSecRef = std::stoi(std::wstring(value));
        } catch (...) {
            return false;
        }
    } else if (SameText(key, L"Section")) {
        entry.Section = value;
    } else if (SameText(key, L"DetectOS")) {
        entry.DetectOS = value;
    } else if (SameText(stem, L"DetectFile")) {
        entry.DetectFile.emplace_back(value);
    } else if (SameText(stem, L"Detect")) {
        entry.Detect.emplace_back(value);
    } else if (SameText(stem, L"SpecialDetect")) {
        entry.SpecialDetect.emplace_back(value);
    } else if (SameText(key, L"Default")) {
        entry.Default = ParseBool(value);
    } else if (SameText(key, L"Warning")) {
        entry.Warning = value;
    } else if (SameText(stem, L"FileKey")) {
        TWinapp2FileKey fileKey;
        const std::wstring error = ParseFileKey(key, value, fileKey, scratch);
        if (!error.empty()) entry.KeyFaults.push_back(error);
        else entry.FileKeys.push_back(std::move(fileKey));
    } else if (SameText(stem, L"ExcludeKey")) {
        TWinapp2Exclude exclude;
        const std::wstring error = ParseExcludeKey(key, value, exclude, scratch);
        if (!error.empty()) Refuse(entry, error);
        else entry.Excludes.push_back(std::move(exclude));
    } else if (SameText(stem, L"RegKey")) {
        TWinapp2RegKey regKey;
        const std::wstring error = ParseRegKey(key, value, regKey, scratch);
        if (!error.empty()) entry.KeyFaults.push_back(error);
        else entry.RegKeys.push_back(std::move(regKey));
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::wstring DecodeWinapp2Text(std::string_view bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    text.reserve(bytes.size());
    AppendUtf8(bytes, text);
    return text;
}

TWinapp2File ParseWinapp2(std::wstring_view text) {
    TWinapp2File file;
    std::unordered_map<std::wstring, size_t> byName;
    TWinapp2Entry* entry = nullptr;
    TSplitScratch scratch;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) end = text.size();
        const std::wstring_view line = TrimView(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
        if (line.front() == L'[') {
            if (line.back() != L']' || line.size() < 3) {
                ++file.SkippedLines;
                entry = nullptr;  // its keys must not land in the entry before it
                continue;
            }
            const std::wstring name = Trim(line.substr(1, line.size() - 2));
            // A later entry of the same name replaces the earlier one, in its place.
            const auto [at, added] = byName.try_emplace(Upper(name), file.Entries.size());
            if (added) file.Entries.emplace_back();
            entry = &file.Entries[at->second];
            *entry = TWinapp2Entry{};
            entry->Name = name;
            continue;
        }
        const size_t equals = line.find(L'=');
        if (entry == nullptr || equals == std::wstring_view::npos || equals == 0) {
            ++file.SkippedLines;
            continue;
        }
        const std::wstring_view key = TrimView(line.substr(0, equals));
        const std::wstring_view value = TrimView(line.substr(equals + 1));
        if (!ReadKey(*entry, key, value, scratch)) ++file.SkippedLines;
    }
    return file;
}

bool PatternMatchesEveryName(std::wstring_view pattern) {
    return pattern == L"*" || pattern == L"*.*" || pattern == L"**";
}

bool PatternIsBroad(const std::wstring& pattern) {
    return !pattern.empty() && pattern.find_first_not_of(L"*?.") == std::wstring::npos;
}

bool PatternIsTypeOnly(const std::wstring& pattern) {
    const size_t dot = pattern.rfind(L'.');
    const std::wstring_view stem = std::wstring_view(pattern).substr(0, dot == std::wstring::npos ? pattern.size() : dot);
    return PatternIsBroad(pattern) || stem.find_first_not_of(L"*?.") == std::wstring_view::npos;
}

bool NamePatternNeedsDosRules(std::wstring_view pattern) {
    if (pattern.empty()) return false;
    if (pattern.back() == L'.') return true;
    for (size_t i = 0; i + 1 < pattern.size(); ++i)
        if (pattern[i] == L'.' && (pattern[i + 1] == L'*' || pattern[i + 1] == L'?')) return true;
    return false;
}

bool MatchesNamePattern(std::wstring_view pattern, std::wstring_view name) {
    if (!NamePatternNeedsDosRules(pattern)) return MatchesPathPattern(pattern, name);
    // The system's own reading: "*" before a dot is a star that stops at the
    // name's last dot; a dot before "*" or "?", or at the end, also matches
    // the end of the name. Names are short: the states are kept as a row.
    const size_t lastDot = name.rfind(L'.');
    // A name fits in MAX_PATH units: the rows stay on the stack (a longer one takes the heap).
    constexpr size_t Row = 261;
    char atRow[Row], nextRow[Row];
    std::vector<char> atHeap, nextHeap;
    char* at = atRow;
    char* next = nextRow;
    if (name.size() + 1 > Row) {
        atHeap.resize(name.size() + 1);
        nextHeap.resize(name.size() + 1);
        at = atHeap.data();
        next = nextHeap.data();
    }
    std::fill(at, at + name.size() + 1, 0);
    at[0] = 1;
    for (size_t p = 0; p < pattern.size(); ++p) {
        const wchar_t c = pattern[p];
        const bool last = p + 1 == pattern.size();
        const bool dosStar = c == L'*' && !last && pattern[p + 1] == L'.';
        const bool dosDot = c == L'.' && (last || pattern[p + 1] == L'*' || pattern[p + 1] == L'?');
        std::fill(next, next + name.size() + 1, 0);
        for (size_t i = 0; i <= name.size(); ++i) {
            if (!at[i]) continue;
            if (c == L'*' && !dosStar) {
                for (size_t k = i; k <= name.size(); ++k) next[k] = 1;
                break;
            }
            if (dosStar) {
                // Up to the last dot, never past it; the whole name when it has none.
                const size_t limit = lastDot == std::wstring_view::npos ? name.size() : lastDot;
                next[i] = 1;
                for (size_t k = i + 1; k <= limit; ++k) next[k] = 1;
                continue;
            }
            if (dosDot) {
                if (i < name.size() && name[i] == L'.') next[i + 1] = 1;
                if (i == name.size()) next[i] = 1;
                continue;
            }
            if (i < name.size() && (c == L'?' || UpperAscii(c) == UpperAscii(name[i]))) next[i + 1] = 1;
        }
        std::swap(at, next);
    }
    return at[name.size()] != 0;
}

bool MatchesPathPattern(std::wstring_view pattern, std::wstring_view path) {
    size_t p = 0, s = 0, starP = std::wstring_view::npos, starS = 0;
    while (s < path.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starS = s;
        } else if (p < pattern.size() && path[s] != L'\\' &&
                   (pattern[p] == L'?' || UpperAscii(pattern[p]) == UpperAscii(path[s]))) {
            ++p;
            ++s;
        } else if (p < pattern.size() && pattern[p] == L'\\' && path[s] == L'\\') {
            ++p;
            ++s;
        } else if (starP != std::wstring_view::npos && path[starS] != L'\\') {
            // The star takes one more unit, never a backslash.
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

namespace {

// A variable names one folder (One) or several (Many); nothing is copied to
// look a value up, as every key of the file asks for one.
struct TVariable {
    std::wstring_view Name;
    std::wstring TWinapp2Folders::*One;
    std::vector<std::wstring> TWinapp2Folders::*Many;
};

const std::array<TVariable, 20> Variables{{
    {L"AppData", &TWinapp2Folders::AppData, nullptr},
    {L"LocalAppData", &TWinapp2Folders::LocalAppData, nullptr},
    {L"LocalLowAppData", &TWinapp2Folders::LocalLowAppData, nullptr},
    {L"ProgramData", &TWinapp2Folders::ProgramData, nullptr},
    {L"CommonAppData", &TWinapp2Folders::ProgramData, nullptr},
    {L"ProgramFiles", nullptr, &TWinapp2Folders::ProgramFiles},
    {L"CommonProgramFiles", nullptr, &TWinapp2Folders::CommonProgramFiles},
    {L"UserProfile", &TWinapp2Folders::UserProfile, nullptr},
    {L"Documents", &TWinapp2Folders::Documents, nullptr},
    {L"Pictures", &TWinapp2Folders::Pictures, nullptr},
    {L"Music", &TWinapp2Folders::Music, nullptr},
    {L"Video", &TWinapp2Folders::Video, nullptr},
    {L"Desktop", &TWinapp2Folders::Desktop, nullptr},
    {L"Public", &TWinapp2Folders::Public, nullptr},
    {L"SystemDrive", &TWinapp2Folders::SystemDrive, nullptr},
    {L"WinDir", &TWinapp2Folders::WinDir, nullptr},
    {L"SystemRoot", &TWinapp2Folders::WinDir, nullptr},
    {L"Temp", &TWinapp2Folders::Temp, nullptr},
    {L"Tmp", &TWinapp2Folders::Temp, nullptr},
    {L"UserName", &TWinapp2Folders::UserName, nullptr},
}};

// Drive letter, colon, then components; no trailing backslash except at a root.
// Error empty when the text is a full local path without "." or "..".
std::wstring CleanLocalPath(const std::wstring& raw, std::wstring& error) {
    std::wstring path;
    path.reserve(raw.size());
    for (wchar_t c : raw) {
        if (c == L'/') c = L'\\';
        if (c == L'\\' && !path.empty() && path.back() == L'\\') continue;
        path.push_back(c);
    }
    const bool drive = path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]) &&
                       (path.size() == 2 || path[2] == L'\\');
    if (!drive) {
        error = FormatText(TTextId::Winapp2ErrorNotLocalPath, raw);
        return {};
    }
    if (path.size() == 2) path += L'\\';
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    // "." and ".." parts, read without building the parts (thousands of paths come through here).
    for (size_t begin = 3; begin <= path.size();) {
        size_t end = path.find(L'\\', begin);
        if (end == std::wstring::npos) end = path.size();
        std::wstring_view part = std::wstring_view(path).substr(begin, end - begin);
        while (!part.empty() && (part.front() == L' ' || part.front() == L'\t')) part.remove_prefix(1);
        while (!part.empty() && (part.back() == L' ' || part.back() == L'\t')) part.remove_suffix(1);
        if (part == L".." || part == L".") {
            error = FormatText(TTextId::Winapp2ErrorPathPart, std::wstring(part), raw);
            return {};
        }
        begin = end + 1;
    }
    if (path.find(L'%') != std::wstring::npos) {
        error = FormatText(TTextId::Winapp2ErrorUnknownVariable, raw);
        return {};
    }
    return path;
}

}  // namespace

std::vector<std::wstring> ExpandWinapp2Path(const std::wstring& text, const TWinapp2Folders& folders,
                                            std::wstring& error) {
    error.clear();
    std::vector<std::wstring> expanded(1);
    expanded[0].reserve(text.size() + 64);
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != L'%') {
            // The literal run up to the next variable, appended at once.
            const size_t percent = std::min(text.find(L'%', i), text.size());
            for (auto& e : expanded) e.append(text, i, percent - i);
            i = percent;
            continue;
        }
        const size_t close = text.find(L'%', i + 1);
        if (close == std::wstring::npos) {
            error = FormatText(TTextId::Winapp2ErrorUnknownVariable, text);
            return {};
        }
        const std::wstring_view name = std::wstring_view(text).substr(i + 1, close - i - 1);
        const auto variable = std::find_if(Variables.begin(), Variables.end(),
                                           [&](const TVariable& v) { return SameText(v.Name, name); });
        // The values without copying them: the one folder (when it is known) or the list.
        const std::wstring* one = nullptr;
        const std::vector<std::wstring>* many = nullptr;
        if (variable != Variables.end()) {
            if (variable->One != nullptr && !(folders.*(variable->One)).empty()) one = &(folders.*(variable->One));
            if (variable->Many != nullptr) many = &(folders.*(variable->Many));
        }
        const size_t count = one != nullptr ? 1 : many != nullptr ? many->size() : 0;
        if (count == 0) {
            error = FormatText(TTextId::Winapp2ErrorUnknownVariableName, name);
            return {};
        }
        // Checked before anything is built: "%ProgramFiles%" twenty times must
        // cost no more than a refusal.
        if (expanded.size() * count > MaxWinapp2Expansion) {
            error = FormatText(TTextId::Winapp2ErrorTooManyFolders, MaxWinapp2Expansion, text);
            return {};
        }
        if (count == 1) {
            const std::wstring& value = one != nullptr ? *one : (*many)[0];
            for (auto& e : expanded) e += value;
        } else {
            std::vector<std::wstring> next;
            next.reserve(expanded.size() * count);
            for (const auto& e : expanded)
                for (const auto& v : *many) next.push_back(e + v);
            expanded = std::move(next);
        }
        i = close + 1;
    }
    if (expanded.size() == 1) {
        // Nearly every key: the one path, cleaned, in the vector it came in.
        std::wstring clean = CleanLocalPath(expanded[0], error);
        if (!error.empty()) return {};
        expanded[0] = std::move(clean);
        return expanded;
    }
    std::vector<std::wstring> paths;
    for (const std::wstring& e : expanded) {
        std::wstring clean = CleanLocalPath(e, error);
        if (!error.empty()) return {};
        if (std::find(paths.begin(), paths.end(), clean) == paths.end()) paths.push_back(std::move(clean));
    }
    return paths;
}

std::optional<TWinapp2RegPath> SplitWinapp2RegPath(const std::wstring& key) {
    std::wstring path;
    path.reserve(key.size());
    for (wchar_t c : key) {
        if (c == L'\\' && !path.empty() && path.back() == L'\\') continue;
        path.push_back(c);
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    const size_t slash = path.find(L'\\');
    const std::wstring_view hive = std::wstring_view(path).substr(0, slash);
    TWinapp2RegPath result;
    static const struct {
        const wchar_t* Short;
        const wchar_t* Long;
        TWinapp2RegPath::THive Hive;
    } hives[] = {{L"HKCU", L"HKEY_CURRENT_USER", TWinapp2RegPath::rhCurrentUser},
                 {L"HKLM", L"HKEY_LOCAL_MACHINE", TWinapp2RegPath::rhLocalMachine},
                 {L"HKU", L"HKEY_USERS", TWinapp2RegPath::rhUsers},
                 {L"HKCR", L"HKEY_CLASSES_ROOT", TWinapp2RegPath::rhClassesRoot},
                 {L"HKCC", L"HKEY_CURRENT_CONFIG", TWinapp2RegPath::rhCurrentConfig}};
    for (const auto& h : hives)
        if (SameText(hive, h.Short) || SameText(hive, h.Long)) result.Hive = h.Hive;
    if (result.Hive == TWinapp2RegPath::rhNone) return std::nullopt;
    if (slash != std::wstring::npos) result.SubKey = path.substr(slash + 1);
    return result;
}

namespace {

// True when some name is taken by both component patterns ("*" and "?" on both sides).
bool ComponentsOverlap(std::wstring_view a, std::wstring_view b) {
    if (a.find_first_of(L"*?") == std::wstring_view::npos && b.find_first_of(L"*?") == std::wstring_view::npos)
        return SameText(a, b);
    // A lone star takes any name (the users' folder's "*" meets every profile's part).
    if (a == L"*" || b == L"*") return true;
    const size_t na = a.size(), nb = b.size();
    // Parts are short: the table stays on the stack (a longer pair takes the heap).
    constexpr size_t Stack = 2048;
    std::array<signed char, Stack> onStack;
    std::vector<signed char> onHeap;
    signed char* memo = onStack.data();
    if ((na + 1) * (nb + 1) > Stack) {
        onHeap.resize((na + 1) * (nb + 1));
        memo = onHeap.data();
    }
    std::fill(memo, memo + (na + 1) * (nb + 1), static_cast<signed char>(-1));
    auto go = [&](auto&& self, size_t i, size_t j) -> bool {
        signed char& m = memo[i * (nb + 1) + j];
        if (m >= 0) return m != 0;
        bool r;
        if (i == na && j == nb)
            r = true;
        else if (i < na && a[i] == L'*')
            r = self(self, i + 1, j) || (j < nb && self(self, i, j + 1));
        else if (j < nb && b[j] == L'*')
            r = self(self, i, j + 1) || (i < na && self(self, i + 1, j));
        else
            r = i < na && j < nb && (a[i] == L'?' || b[j] == L'?' || UpperAscii(a[i]) == UpperAscii(b[j])) &&
                self(self, i + 1, j + 1);
        m = r ? 1 : 0;
        return r;
    };
    return go(go, 0, 0);
}

// The path's trimmed, non-empty parts, upper-cased, built in place (every
// broad key and every RegKey is split here).
std::vector<std::wstring> UpperComponents(std::wstring_view path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = path.find(L'\\', start);
        const std::wstring_view part =
            TrimView(path.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start));
        if (!part.empty()) {
            std::wstring& upper = parts.emplace_back(part);
            for (wchar_t& c : upper) c = UpperAscii(c);
        }
        if (at == std::wstring_view::npos) return parts;
        start = at + 1;
    }
}

// True when the folder pattern (split into parts) can name Guarded or a folder above it.
using TParts = TWinapp2Guards::TParts;

// The path's trimmed, non-empty parts, upper-cased, into Parts (its storage
// is reused from one key to the next).
void PartsOf(std::wstring_view path, TParts& parts) {
    parts.Text.clear();
    parts.Spans.clear();
    parts.Wild = 0;
    size_t start = 0;
    for (;;) {
        const size_t at = path.find(L'\\', start);
        const std::wstring_view part =
            TrimView(path.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start));
        if (!part.empty()) {
            const size_t i = parts.Spans.size();
            parts.Spans.emplace_back(static_cast<uint32_t>(parts.Text.size()), static_cast<uint32_t>(part.size()));
            bool wild = false;
            for (const wchar_t c : part) {
                parts.Text.push_back(UpperAscii(c));
                wild = wild || c == L'*' || c == L'?';
            }
            if (i >= 64 || wild) parts.Wild |= uint64_t{1} << (i < 64 ? i : 63);
        }
        if (at == std::wstring_view::npos) return;
        start = at + 1;
    }
}

TParts PartsOf(std::wstring_view path) {
    TParts parts;
    PartsOf(path, parts);
    return parts;
}

// Part i of A and part i of B can name the same folder. Literal parts (most
// of them) compare as they are; only a wildcard needs the full test.
bool PartsOverlap(const TParts& a, const TParts& b, size_t i) {
    const uint64_t bit = uint64_t{1} << (i < 64 ? i : 63);
    if (((a.Wild | b.Wild) & bit) == 0) return a.Part(i) == b.Part(i);
    return ComponentsOverlap(a.Part(i), b.Part(i));
}

bool ReachesGuardedFolder(const TParts& f, const TParts& g) {
    if (f.Count() == 0 || f.Count() > g.Count()) return false;
    for (size_t i = 0; i < f.Count(); ++i)
        if (!PartsOverlap(f, g, i)) return false;
    return true;
}

// Folders on which the system or a user's data stands: no rule may empty them
// or anything holding them. "*" stands for every profile below the users' folder.
std::vector<std::wstring> GuardedFolders(const TWinapp2Folders& f) {
    std::vector<std::wstring> guarded{f.WinDir, f.UsersFolder, f.UserProfile, f.AppData, f.LocalAppData,
                                      f.LocalLowAppData, f.ProgramData, f.Documents, f.Pictures, f.Music,
                                      f.Video, f.Desktop, f.Downloads, f.Public};
    if (!f.UsersFolder.empty()) guarded.push_back(f.UsersFolder + L"\\*");
    for (const auto& p : f.ProgramFiles) guarded.push_back(p);
    for (const auto& p : f.CommonProgramFiles) guarded.push_back(p);
    std::erase_if(guarded, [](const std::wstring& g) { return g.empty(); });
    return guarded;
}

// The folders of the user's own files: the known folders where they are now
// (redirected or not), where they stand in a profile by default, and the
// same in every profile.
std::vector<std::wstring> UserFileFolders(const TWinapp2Folders& f) {
    std::vector<std::wstring> folders{f.Documents, f.Pictures, f.Music, f.Video, f.Desktop, f.Downloads, f.Public};
    for (const wchar_t* name : {L"Documents", L"Pictures", L"Music", L"Videos", L"Desktop", L"Downloads"}) {
        if (!f.UserProfile.empty()) folders.push_back(f.UserProfile + L"\\" + name);
        if (!f.UsersFolder.empty()) folders.push_back(f.UsersFolder + L"\\*\\" + name);
    }
    std::erase_if(folders, [](const std::wstring& g) { return g.empty(); });
    return folders;
}

// True when the folder pattern can name a folder inside User's (or User itself).
bool ReachesInto(const TParts& f, const TParts& user) {
    if (f.Count() < user.Count()) return false;
    for (size_t i = 0; i < user.Count(); ++i)
        if (!PartsOverlap(f, user, i)) return false;
    return true;
}

// Kinds of documents users make: a recursing key that takes them by their
// type reaches a user's own files (GnuCash's "*.gnucash.*.gnucash" backups are
// the user's books).
bool PatternTakesDocuments(const std::wstring& pattern) {
    static const wchar_t* const kinds[] = {L"GNUCASH", L"DOC", L"DOCX", L"XLS", L"XLSX", L"PPT", L"PPTX", L"ODT",
                                           L"ODS", L"PDF", L"JPG", L"JPEG", L"PNG", L"MP3", L"MP4", L"MOV",
                                           L"AVI", L"MKV", L"WAV", L"FLAC", L"PSD", L"KDBX", L"QIF", L"OFX"};
    if (pattern.empty() || (pattern[0] != L'*' && pattern[0] != L'?')) return false;
    const size_t dot = pattern.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    const std::wstring type = Upper(std::wstring_view(pattern).substr(dot + 1));
    for (const wchar_t* kind : kinds)
        if (type == kind) return true;
    return false;
}

// Windows' own configuration below a hive (upper case). A key is refused when
// it is one of them; the ones marked Below are refused with everything below
// them too, the others keep their applications' keys (Explorer\RecentDocs,
// Run\SomeApp's own key, a service's key).
struct TConfigurationKey {
    std::wstring_view Path;
    bool Below;
};
const TConfigurationKey ConfigurationKeys[] = {
    {L"CONTROL PANEL", true},
    {L"ENVIRONMENT", true},
    {L"KEYBOARD LAYOUT", true},
    {L"APPEVENTS", true},
    {L"CONSOLE", true},
    {L"NETWORK", true},
    {L"PRINTERS", true},
    {L"SYSTEM\\CURRENTCONTROLSET", false},
    {L"SYSTEM\\CURRENTCONTROLSET\\CONTROL", false},
    {L"SYSTEM\\CURRENTCONTROLSET\\SERVICES", false},
    {L"SYSTEM\\CURRENTCONTROLSET\\ENUM", false},
    {L"SOFTWARE\\CLASSES", false},
    {L"SOFTWARE\\MICROSOFT", false},
    {L"SOFTWARE\\POLICIES", true},
    {L"SOFTWARE\\WOW6432NODE", false},
    {L"SOFTWARE\\MICROSOFT\\WINDOWS", false},
    {L"SOFTWARE\\MICROSOFT\\WINDOWS NT", false},
    {L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", false},
    {L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES", true},
    {L"SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", false},
};

bool IsConfigurationKey(std::vector<std::wstring> p) {
    // The 32-bit view's keys are the same keys: "Software\WOW6432Node\Microsoft\...".
    if (p.size() >= 3 && p[0] == L"SOFTWARE" && p[1] == L"WOW6432NODE") p.erase(p.begin() + 1);
    if (p.size() >= 2 && p[0] == L"SYSTEM" && p[1].starts_with(L"CONTROLSET")) p[1] = L"CURRENTCONTROLSET";
    std::wstring joined;
    for (const std::wstring& part : p) {
        joined += (joined.empty() ? L"" : L"\\") + part;
        for (const TConfigurationKey& key : ConfigurationKeys) {
            if (joined != key.Path) continue;
            if (key.Below || &part == &p.back()) return true;
        }
    }
    // Run, RunOnce, RunOnceEx, RunServices...: what starts with Windows.
    const std::wstring_view currentVersion = L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\";
    return joined.starts_with(currentVersion) && p.size() == 5 && p[4].starts_with(L"RUN");
}

}  // namespace

namespace {

// The guard's answer for Key, already split (CheckWinapp2Entry splits each RegKey once).
std::wstring RegistryGuardOf(const TWinapp2RegPath& split, const std::wstring& keyName, const std::wstring& key) {
    std::vector<std::wstring> parts = UpperComponents(split.SubKey);
    // Below HKEY_USERS each user's hive is a root of its own.
    if (split.Hive == TWinapp2RegPath::rhUsers && !parts.empty()) parts.erase(parts.begin());
    if (parts.size() <= 1) return FormatText(TTextId::Winapp2ErrorRegistryRoot, keyName, key);
    if (IsConfigurationKey(std::move(parts))) return FormatText(TTextId::Winapp2ErrorWindowsSettings, keyName, key);
    return {};
}

}  // namespace

std::wstring Winapp2RegistryGuard(const std::wstring& keyName, const std::wstring& key) {
    const auto split = SplitWinapp2RegPath(key);
    if (!split) return FormatText(TTextId::Winapp2ErrorUnknownRoot, keyName, key);
    return RegistryGuardOf(*split, keyName, key);
}

TWinapp2Guards Winapp2GuardsOf(const TWinapp2Folders& folders) {
    TWinapp2Guards guards;
    for (const std::wstring& folder : GuardedFolders(folders)) guards.Folders.push_back(PartsOf(folder));
    for (const std::wstring& folder : UserFileFolders(folders)) guards.UserFolders.push_back(PartsOf(folder));
    return guards;
}

void CheckWinapp2Entry(TWinapp2Entry& entry, const TWinapp2Folders& folders, const TWinapp2Guards* guards) {
    entry.UserFilesWarning.clear();
    if (!entry.Refusal.empty()) return;
    std::wstring error;
    TWinapp2Guards own;
    if (guards == nullptr) {
        own = Winapp2GuardsOf(folders);
        guards = &own;
    }
    const auto refuse = [&](const std::wstring& reason) {
        if (entry.Refusal.empty()) entry.Refusal = reason;
    };
    std::vector<TWinapp2FileKey> usable;
    usable.reserve(entry.FileKeys.size());
    TParts parts;
    for (TWinapp2FileKey& key : entry.FileKeys) {
        key.Expanded = ExpandWinapp2Path(key.Path, folders, error);
        const std::vector<std::wstring>& paths = key.Expanded;
        if (!error.empty()) {
            entry.KeyFaults.push_back(key.Name + L": " + error);
            continue;
        }
        const bool everyName = std::any_of(key.Patterns.begin(), key.Patterns.end(), PatternIsBroad);
        const bool broad = everyName || (key.Recurse && std::any_of(key.Patterns.begin(), key.Patterns.end(),
                                                                     PatternIsTypeOnly));
        const bool documents =
            key.Recurse && std::any_of(key.Patterns.begin(), key.Patterns.end(), PatternTakesDocuments);
        for (const std::wstring& path : paths) {
            if (!broad && !everyName && !documents) continue;
            PartsOf(path, parts);
            if (broad) {
                if (parts.Count() <= 1) refuse(FormatText(TTextId::Winapp2ErrorWholeDrive, key.Name, path));
                for (const auto& g : guards->Folders)
                    if (ReachesGuardedFolder(parts, g)) refuse(FormatText(TTextId::Winapp2ErrorProtectedFolder, key.Name, path));
            }
            if (!entry.UserFilesWarning.empty() || (!everyName && !documents)) continue;
            for (const auto& u : guards->UserFolders) {
                if (everyName && ReachesInto(parts, u)) {
                    entry.UserFilesWarning = FormatText(TTextId::Winapp2WarningEveryFile, path);
                    break;
                }
                if (documents && (ReachesInto(parts, u) || ReachesGuardedFolder(parts, u))) {
                    std::wstring kinds;
                    for (const std::wstring& pattern : key.Patterns)
                        if (PatternTakesDocuments(pattern)) kinds += (kinds.empty() ? L"" : LoadText(TTextId::ListSeparator)) + pattern;
                    entry.UserFilesWarning = FormatText(TTextId::Winapp2WarningDocuments, path, kinds);
                    break;
                }
            }
        }
        usable.push_back(std::move(key));
    }
    entry.FileKeys = std::move(usable);
    for (TWinapp2Exclude& exclude : entry.Excludes) {
        if (exclude.Kind == TWinapp2Exclude::ekReg) {
            if (!SplitWinapp2RegPath(exclude.Path)) refuse(FormatText(TTextId::Winapp2ErrorExcludeRoot, exclude.Name));
            continue;
        }
        exclude.Expanded = ExpandWinapp2Path(exclude.Path, folders, error);
        if (!error.empty()) refuse(exclude.Name + L": " + error);
    }
    for (const std::wstring& detect : entry.DetectFile) {
        ExpandWinapp2Path(detect, folders, error);
        if (!error.empty()) entry.KeyFaults.push_back(L"DetectFile: " + error);
    }
    std::vector<TWinapp2RegKey> regKeys;
    regKeys.reserve(entry.RegKeys.size());
    for (TWinapp2RegKey& regKey : entry.RegKeys) {
        const auto split = SplitWinapp2RegPath(regKey.Key);
        if (!split) {
            entry.KeyFaults.push_back(FormatText(TTextId::Winapp2ErrorUnknownRoot, regKey.Name, regKey.Key));
            continue;
        }
        if (regKey.Key.find_first_of(L"*?") != std::wstring::npos) {
            entry.KeyFaults.push_back(FormatText(TTextId::Winapp2ErrorWildcard, regKey.Name, regKey.Key));
            continue;
        }
        const std::wstring guard = RegistryGuardOf(*split, regKey.Name, regKey.Key);
        if (!guard.empty()) refuse(guard);
        regKeys.push_back(std::move(regKey));
    }
    entry.RegKeys = std::move(regKeys);
    if (entry.FileKeys.empty() && entry.RegKeys.empty() && !entry.KeyFaults.empty())
        refuse(entry.KeyFaults.size() == 1 ? entry.KeyFaults[0]
                                           : FormatText(TTextId::Winapp2ErrorNoUsableKey, entry.KeyFaults[0],
                                                        entry.KeyFaults.size()));
}

std::wstring RefuseWinapp2Entry(const TWinapp2Entry& entry, const TWinapp2Folders& folders,
                                const TWinapp2Guards* guards) {
    TWinapp2Entry copy = entry;
    CheckWinapp2Entry(copy, folders, guards);
    return copy.Refusal;
}

std::wstring Winapp2GroupName(const TWinapp2Entry& entry) {
    if (!entry.Section.empty()) return entry.Section;
    switch (entry.LangSecRef) {
        case 3021: return LoadText(TTextId::Winapp2GroupApplications);
        case 3022: return LoadText(TTextId::Winapp2GroupInternet);
        case 3023: return LoadText(TTextId::Winapp2GroupMultimedia);
        case 3024: return LoadText(TTextId::Winapp2GroupUtilities);
        case 3025: return L"Windows";
        case 3026: return L"Firefox";
        case 3027: return L"Opera";
        case 3028: return L"Safari";
        case 3029: return L"Chrome";
        case 3030: return L"Thunderbird";
        case 3031: return LoadText(TTextId::Winapp2GroupWindowsStore);
        default: return LoadText(TTextId::Winapp2GroupOther);
    }
}

std::wstring Winapp2DisplayName(const std::wstring& name) {
    std::wstring shown = name;
    if (shown.size() > 2 && shown.ends_with(L" *")) shown.resize(shown.size() - 2);
    return Trim(shown);
}

bool Winapp2OsMatches(const std::wstring& detectOS, unsigned major, unsigned minor) {
    if (detectOS.empty()) return true;
    const std::vector<std::wstring> parts = Split(detectOS, L'|');
    const auto version = [](const std::wstring& text, bool& ok) -> unsigned {
        ok = false;
        if (text.empty()) return 0;
        const size_t dot = text.find(L'.');
        try {
            const unsigned hi = static_cast<unsigned>(std::stoul(text.substr(0, dot)));
            const unsigned lo = dot == std::wstring::npos ? 0 : static_cast<unsigned>(std::stoul(text.substr(dot + 1)));
            ok = true;
            return hi * 1000 + lo;
        } catch (...) {
            return 0;
        }
    };
    const unsigned running = major * 1000 + minor;
    bool ok = false;
    const unsigned low = version(parts[0], ok);
    if (parts.size() == 1) return !ok || running == low;
    if (ok && running < low) return false;
    if (parts.size() > 1) {
        const unsigned high = version(parts[1], ok);
        if (ok && running > high) return false;
    }
    return true;
}
