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

bool StartsWithText(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::wstring Trim(std::wstring_view text) {
    size_t first = 0, last = text.size();
    while (first < last && (text[first] == L' ' || text[first] == L'\t' || text[first] == 0xFEFF)) ++first;
    while (last > first && (text[last - 1] == L' ' || text[last - 1] == L'\t' || text[last - 1] == L'\r')) --last;
    return std::wstring(text.substr(first, last - first));
}

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(Trim(text.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start)));
        if (at == std::wstring_view::npos) return parts;
        start = at + 1;
    }
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

bool ParseBool(const std::wstring& text) { return SameText(text, L"True") || text == L"1"; }

// A FileKey value; empty error when it reads.
std::wstring ParseFileKey(const std::wstring& key, const std::wstring& value, TWinapp2FileKey& out) {
    const std::vector<std::wstring> parts = Split(value, L'|');
    if (parts[0].empty()) return FormatText(TTextId::Winapp2ErrorNoPath, key);
    if (parts.size() < 2 || parts[1].empty()) return FormatText(TTextId::Winapp2ErrorNoFileName, key);
    out.Path = parts[0];
    for (const std::wstring& pattern : Split(parts[1], L';')) {
        if (pattern.empty()) continue;
        if (pattern.find_first_of(L"\\/:") != std::wstring::npos)
            return FormatText(TTextId::Winapp2ErrorPathInFileName, key, pattern);
        out.Patterns.push_back(PatternMatchesEveryName(pattern) ? std::wstring(L"*") : pattern);
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

std::wstring ParseExcludeKey(const std::wstring& key, const std::wstring& value, TWinapp2Exclude& out) {
    const std::vector<std::wstring> parts = Split(value, L'|');
    if (parts.size() < 2 || parts[1].empty()) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    if (SameText(parts[0], L"REG")) {
        out.Kind = TWinapp2Exclude::ekReg;
        out.Path = parts[1];
        if (parts.size() > 2) out.Pattern = parts[2];
        return {};
    }
    if (!SameText(parts[0], L"FILE") && !SameText(parts[0], L"PATH"))
        return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    out.Kind = SameText(parts[0], L"FILE") ? TWinapp2Exclude::ekFile : TWinapp2Exclude::ekPath;
    std::wstring path = parts[1];
    std::wstring pattern = parts.size() > 2 ? parts[2] : std::wstring();
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    if (pattern.empty() && out.Kind == TWinapp2Exclude::ekFile) {
        // FILE|C:\folder\name.log: the last part is the file's name.
        const size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
        pattern = path.substr(slash + 1);
        path.resize(slash);
    }
    out.Path = path;
    out.Pattern = pattern.empty() || PatternMatchesEveryName(pattern) ? std::wstring(L"*") : pattern;
    return {};
}

std::wstring ParseRegKey(const std::wstring& key, const std::wstring& value, TWinapp2RegKey& out) {
    const std::vector<std::wstring> parts = Split(value, L'|');
    if (parts[0].empty() || parts.size() > 2) return FormatText(TTextId::Winapp2ErrorUnreadable, key, value);
    out.Key = parts[0];
    if (parts.size() == 2) {
        if (parts[1].empty()) return FormatText(TTextId::Winapp2ErrorNoValueName, key);
        out.Value = parts[1];
    }
    return {};
}

void Refuse(TWinapp2Entry& entry, const std::wstring& reason) {
    if (entry.Refusal.empty()) entry.Refusal = reason;
}

// One key line of an entry. False when the line is not a key this format knows.
bool ReadKey(TWinapp2Entry& entry, const std::wstring& key, const std::wstring& value) {
    bool numbered = false;
    const std::wstring_view stem = KeyStem(key, numbered);
    if (SameText(key, L"LangSecRef")) {
        try {
            entry.LangSecRef = std::stoi(value);
        } catch (...) {
            return false;
        }
    } else if (SameText(key, L"Section")) {
        entry.Section = value;
    } else if (SameText(key, L"DetectOS")) {
        entry.DetectOS = value;
    } else if (SameText(stem, L"DetectFile")) {
        entry.DetectFile.push_back(value);
    } else if (SameText(stem, L"Detect")) {
        entry.Detect.push_back(value);
    } else if (SameText(stem, L"SpecialDetect")) {
        entry.SpecialDetect.push_back(value);
    } else if (SameText(key, L"Default")) {
        entry.Default = ParseBool(value);
    } else if (SameText(key, L"Warning")) {
        entry.Warning = value;
    } else if (SameText(stem, L"FileKey")) {
        TWinapp2FileKey fileKey;
        const std::wstring error = ParseFileKey(key, value, fileKey);
        if (!error.empty()) Refuse(entry, error);
        else entry.FileKeys.push_back(std::move(fileKey));
    } else if (SameText(stem, L"ExcludeKey")) {
        TWinapp2Exclude exclude;
        const std::wstring error = ParseExcludeKey(key, value, exclude);
        if (!error.empty()) Refuse(entry, error);
        else entry.Excludes.push_back(std::move(exclude));
    } else if (SameText(stem, L"RegKey")) {
        TWinapp2RegKey regKey;
        const std::wstring error = ParseRegKey(key, value, regKey);
        if (!error.empty()) Refuse(entry, error);
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
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) end = text.size();
        const std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
        if (line.front() == L'[') {
            if (line.back() != L']' || line.size() < 3) {
                ++file.SkippedLines;
                entry = nullptr;  // its keys must not land in the entry before it
                continue;
            }
            const std::wstring name = Trim(std::wstring_view(line).substr(1, line.size() - 2));
            // A later entry of the same name replaces the earlier one, in its place.
            const auto [at, added] = byName.try_emplace(Upper(name), file.Entries.size());
            if (added) file.Entries.emplace_back();
            entry = &file.Entries[at->second];
            *entry = TWinapp2Entry{};
            entry->Name = name;
            continue;
        }
        const size_t equals = line.find(L'=');
        if (entry == nullptr || equals == std::wstring::npos || equals == 0) {
            ++file.SkippedLines;
            continue;
        }
        const std::wstring key = Trim(std::wstring_view(line).substr(0, equals));
        const std::wstring value = Trim(std::wstring_view(line).substr(equals + 1));
        if (!ReadKey(*entry, key, value)) ++file.SkippedLines;
    }
    return file;
}

bool PatternMatchesEveryName(const std::wstring& pattern) {
    if (pattern.empty()) return false;
    bool star = false;
    for (wchar_t c : pattern) {
        if (c == L'*') star = true;
        else if (c != L'.') return false;
    }
    // "*", "**", "*.*": a dot between stars stands for names with or without one.
    return star;
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

struct TVariable {
    const wchar_t* Name;
    std::vector<std::wstring> (*Values)(const TWinapp2Folders&);
};

std::vector<std::wstring> One(const std::wstring& value) {
    return value.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{value};
}

const std::array<TVariable, 20> Variables{{
    {L"AppData", [](const TWinapp2Folders& f) { return One(f.AppData); }},
    {L"LocalAppData", [](const TWinapp2Folders& f) { return One(f.LocalAppData); }},
    {L"LocalLowAppData", [](const TWinapp2Folders& f) { return One(f.LocalLowAppData); }},
    {L"ProgramData", [](const TWinapp2Folders& f) { return One(f.ProgramData); }},
    {L"CommonAppData", [](const TWinapp2Folders& f) { return One(f.ProgramData); }},
    {L"ProgramFiles", [](const TWinapp2Folders& f) { return f.ProgramFiles; }},
    {L"CommonProgramFiles", [](const TWinapp2Folders& f) { return f.CommonProgramFiles; }},
    {L"UserProfile", [](const TWinapp2Folders& f) { return One(f.UserProfile); }},
    {L"Documents", [](const TWinapp2Folders& f) { return One(f.Documents); }},
    {L"Pictures", [](const TWinapp2Folders& f) { return One(f.Pictures); }},
    {L"Music", [](const TWinapp2Folders& f) { return One(f.Music); }},
    {L"Video", [](const TWinapp2Folders& f) { return One(f.Video); }},
    {L"Desktop", [](const TWinapp2Folders& f) { return One(f.Desktop); }},
    {L"Public", [](const TWinapp2Folders& f) { return One(f.Public); }},
    {L"SystemDrive", [](const TWinapp2Folders& f) { return One(f.SystemDrive); }},
    {L"WinDir", [](const TWinapp2Folders& f) { return One(f.WinDir); }},
    {L"SystemRoot", [](const TWinapp2Folders& f) { return One(f.WinDir); }},
    {L"Temp", [](const TWinapp2Folders& f) { return One(f.Temp); }},
    {L"Tmp", [](const TWinapp2Folders& f) { return One(f.Temp); }},
    {L"UserName", [](const TWinapp2Folders& f) { return One(f.UserName); }},
}};

// Drive letter, colon, then components; no trailing backslash except at a root.
// Error empty when the text is a full local path without "." or "..".
std::wstring CleanLocalPath(const std::wstring& raw, std::wstring& error) {
    std::wstring path;
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
    for (const std::wstring& part : Split(std::wstring_view(path).substr(3), L'\\')) {
        if (part == L".." || part == L".") {
            error = FormatText(TTextId::Winapp2ErrorPathPart, part, raw);
            return {};
        }
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
    std::vector<std::wstring> expanded{L""};
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != L'%') {
            for (auto& e : expanded) e.push_back(text[i]);
            ++i;
            continue;
        }
        const size_t close = text.find(L'%', i + 1);
        if (close == std::wstring::npos) {
            error = FormatText(TTextId::Winapp2ErrorUnknownVariable, text);
            return {};
        }
        const std::wstring name = text.substr(i + 1, close - i - 1);
        const auto variable = std::find_if(Variables.begin(), Variables.end(),
                                           [&](const TVariable& v) { return SameText(v.Name, name); });
        const std::vector<std::wstring> values =
            variable == Variables.end() ? std::vector<std::wstring>{} : variable->Values(folders);
        if (values.empty()) {
            error = FormatText(TTextId::Winapp2ErrorUnknownVariableName, name);
            return {};
        }
        std::vector<std::wstring> next;
        for (const auto& e : expanded)
            for (const auto& v : values) next.push_back(e + v);
        expanded = std::move(next);
        i = close + 1;
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
    for (wchar_t c : key) {
        if (c == L'\\' && !path.empty() && path.back() == L'\\') continue;
        path.push_back(c);
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    const size_t slash = path.find(L'\\');
    const std::wstring hive = path.substr(0, slash);
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
    const size_t na = a.size(), nb = b.size();
    std::vector<signed char> memo((na + 1) * (nb + 1), -1);
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

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    for (std::wstring& part : Split(path, L'\\'))
        if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

// True when the folder pattern (split into parts) can name Guarded or a folder above it.
bool ReachesGuardedFolder(const std::vector<std::wstring>& f, const std::vector<std::wstring>& g) {
    if (f.empty() || f.size() > g.size()) return false;
    for (size_t i = 0; i < f.size(); ++i)
        if (!ComponentsOverlap(f[i], g[i])) return false;
    return true;
}

// Folders on which the system or a user's data stands: no rule may empty them
// or anything holding them. "*" stands for every profile below the users' folder.
std::vector<std::wstring> GuardedFolders(const TWinapp2Folders& f) {
    std::vector<std::wstring> guarded{f.WinDir, f.UsersFolder, f.UserProfile, f.AppData, f.LocalAppData,
                                      f.LocalLowAppData, f.ProgramData, f.Documents, f.Pictures, f.Music,
                                      f.Video, f.Desktop, f.Public};
    if (!f.UsersFolder.empty()) guarded.push_back(f.UsersFolder + L"\\*");
    for (const auto& p : f.ProgramFiles) guarded.push_back(p);
    for (const auto& p : f.CommonProgramFiles) guarded.push_back(p);
    std::erase_if(guarded, [](const std::wstring& g) { return g.empty(); });
    return guarded;
}

std::wstring CheckRegistryTarget(const std::wstring& keyName, const std::wstring& key) {
    const auto split = SplitWinapp2RegPath(key);
    if (!split) return FormatText(TTextId::Winapp2ErrorUnknownRoot, keyName, key);
    if (key.find_first_of(L"*?") != std::wstring::npos) return FormatText(TTextId::Winapp2ErrorWildcard, keyName, key);
    std::vector<std::wstring> parts = Components(Upper(split->SubKey));
    // Below HKEY_USERS each user's hive is a root of its own.
    if (split->Hive == TWinapp2RegPath::rhUsers && !parts.empty()) parts.erase(parts.begin());
    const bool guarded =
        parts.empty() ||
        (parts.size() == 1 && (parts[0] == L"SOFTWARE" || parts[0] == L"SYSTEM" || parts[0] == L"CLASSES")) ||
        (parts.size() == 2 && parts[0] == L"SOFTWARE" &&
         (parts[1] == L"CLASSES" || parts[1] == L"MICROSOFT" || parts[1] == L"POLICIES" || parts[1] == L"WOW6432NODE"));
    if (guarded) return FormatText(TTextId::Winapp2ErrorRegistryRoot, keyName, key);
    return {};
}

}  // namespace

TWinapp2Guards Winapp2GuardsOf(const TWinapp2Folders& folders) {
    TWinapp2Guards guards;
    for (const std::wstring& folder : GuardedFolders(folders)) guards.Folders.push_back(Components(folder));
    return guards;
}

std::wstring RefuseWinapp2Entry(const TWinapp2Entry& entry, const TWinapp2Folders& folders,
                                const TWinapp2Guards* guards) {
    if (!entry.Refusal.empty()) return entry.Refusal;
    std::wstring error;
    TWinapp2Guards own;
    if (guards == nullptr) {
        own = Winapp2GuardsOf(folders);
        guards = &own;
    }
    for (size_t k = 0; k < entry.FileKeys.size(); ++k) {
        const TWinapp2FileKey& key = entry.FileKeys[k];
        const std::vector<std::wstring> paths = ExpandWinapp2Path(key.Path, folders, error);
        if (!error.empty()) return L"FileKey" + std::to_wstring(k + 1) + L": " + error;
        const bool broad = key.Recurse || key.RemoveSelf ||
                           std::any_of(key.Patterns.begin(), key.Patterns.end(), PatternMatchesEveryName);
        if (!broad) continue;
        for (const std::wstring& path : paths) {
            const std::vector<std::wstring> parts = Components(path);
            if (parts.size() <= 1) return FormatText(TTextId::Winapp2ErrorWholeDrive, k + 1, path);
            for (const auto& g : guards->Folders)
                if (ReachesGuardedFolder(parts, g))
                    return FormatText(TTextId::Winapp2ErrorProtectedFolder, k + 1, path);
        }
    }
    for (size_t k = 0; k < entry.Excludes.size(); ++k) {
        const TWinapp2Exclude& exclude = entry.Excludes[k];
        if (exclude.Kind == TWinapp2Exclude::ekReg) {
            if (!SplitWinapp2RegPath(exclude.Path)) return FormatText(TTextId::Winapp2ErrorExcludeRoot, k + 1);
            continue;
        }
        ExpandWinapp2Path(exclude.Path, folders, error);
        if (!error.empty()) return L"ExcludeKey" + std::to_wstring(k + 1) + L": " + error;
    }
    for (const std::wstring& detect : entry.DetectFile) {
        ExpandWinapp2Path(detect, folders, error);
        if (!error.empty()) return L"DetectFile: " + error;
    }
    for (size_t k = 0; k < entry.RegKeys.size(); ++k) {
        error = CheckRegistryTarget(L"RegKey" + std::to_wstring(k + 1), entry.RegKeys[k].Key);
        if (!error.empty()) return error;
    }
    return {};
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
    if (ok && running < low) return false;
    if (parts.size() > 1) {
        const unsigned high = version(parts[1], ok);
        if (ok && running > high) return false;
    }
    return true;
}
