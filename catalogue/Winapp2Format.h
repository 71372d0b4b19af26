// The community rule file winapp2.ini: its text, its entries and the checks
// that refuse a key or an entry before anything of it runs. Pure C++ (no
// <windows.h>): what the system knows (folders, the Windows version) comes in as data.
//
// A key the program cannot use (a FileKey without a pattern, a path with an
// unknown variable, a RegKey with an unknown hive) is passed over with its
// reason and the rest of the entry runs. An entry is refused whole when no key
// is left, when a key would empty a folder the system or a user's data stands
// on, when a RegKey names Windows' own configuration, or when an ExcludeKey
// cannot be used (without it the entry would take what it means to keep).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One FileKeyN=path|pattern[;pattern...][|RECURSE|REMOVESELF].
struct TWinapp2FileKey {
    std::wstring Name;                  // "FileKey7", as written
    std::wstring Path;                  // as written, variables unexpanded
    std::vector<std::wstring> Patterns;  // file-name patterns; "*.*" and "**" already read as "*"
    bool Recurse = false;
    bool RemoveSelf = false;  // implies Recurse: the folder goes once it is emptied
    std::vector<std::wstring> Expanded;  // the paths it stands for here, once CheckWinapp2Entry has passed it
};

// ExcludeKeyN=FILE|folder\|pattern, PATH|folder\|pattern or REG|key[|value].
// FILE and PATH patterns are split on ";" like a FileKey's.
struct TWinapp2Exclude {
    enum TKind { ekFile, ekPath, ekReg } Kind = ekFile;
    std::wstring Name;                   // "ExcludeKey2"
    std::wstring Path;                   // folder (FILE, PATH) or key (REG), as written
    std::vector<std::wstring> Patterns;  // FILE/PATH: file-name patterns ({"*"} when none)
    std::wstring Value;                  // REG: a value name, or empty for the whole key
    std::vector<std::wstring> Expanded;  // FILE/PATH: the folders it stands for here, once checked
};

// RegKeyN=key (the key and everything below it) or key|value (that one value).
struct TWinapp2RegKey {
    std::wstring Name;  // "RegKey3"
    std::wstring Key;
    std::optional<std::wstring> Value;
};

struct TWinapp2Entry {
    std::wstring Name;  // the section name as written ("Discord *")
    int LangSecRef = 0;
    std::wstring Section;  // Section=: a group of its own
    std::vector<std::wstring> Detect;      // registry keys
    std::vector<std::wstring> DetectFile;  // paths, wildcards allowed
    std::wstring DetectOS;                 // "min|max", either side may be empty; "6.1": that version only
    std::vector<std::wstring> SpecialDetect;
    bool Default = false;
    std::wstring Warning;
    std::vector<TWinapp2FileKey> FileKeys;
    std::vector<TWinapp2Exclude> Excludes;
    std::vector<TWinapp2RegKey> RegKeys;
    std::wstring Refusal;  // why the entry is refused; empty when it may run
    // The keys passed over, each as "<key> <why>"; the entry runs without them.
    std::vector<std::wstring> KeyFaults;
    // Vantrel's own warning, asked before the entry is ticked like Warning=:
    // a key that empties a folder of the user's own files (CheckWinapp2Entry).
    std::wstring UserFilesWarning;
};

struct TWinapp2File {
    std::vector<TWinapp2Entry> Entries;
    int SkippedLines = 0;  // lines that are neither a section, a key, a comment nor blank
};

// The file's bytes as text: UTF-16LE with its BOM, else UTF-8 with or without
// BOM (bytes that are not UTF-8 become U+FFFD).
std::wstring DecodeWinapp2Text(std::string_view Bytes);

// Reads the entries in file order. An entry named twice keeps the later one
// (the cleaners that read the file do the same). Syntax faults inside an entry
// refuse it (Refusal set); the path and registry checks are RefuseWinapp2Entry's.
TWinapp2File ParseWinapp2(std::wstring_view Text);

// The folders the variables stand for, without trailing backslashes. Empty
// fields are variables this computer does not have: a path using one is refused.
struct TWinapp2Folders {
    std::wstring AppData, LocalAppData, LocalLowAppData, ProgramData;
    std::vector<std::wstring> ProgramFiles;        // "Program Files" and, on 64-bit Windows, "Program Files (x86)"
    std::vector<std::wstring> CommonProgramFiles;  // the same for "Common Files"
    std::wstring UserProfile, Documents, Pictures, Music, Video, Desktop, Public;
    std::wstring Downloads;  // no variable names it; a user's own files all the same
    std::wstring SystemDrive;  // "C:"
    std::wstring WinDir, Temp, UserName;
    std::wstring UsersFolder;  // the folder that holds the profiles ("C:\Users")
};

// Every path Text stands for, variables replaced (letter case does not
// matter), separators cleaned, no trailing backslash ("C:\" stays). A variable
// with two folders (%ProgramFiles%) gives two paths, at most
// MaxWinapp2Expansion in all. On a fault, empty with Error set: an unknown or
// missing variable, more paths than that, a path that is not a full local
// path ("X:\..."), a ".." or "." component.
constexpr size_t MaxWinapp2Expansion = 64;
std::vector<std::wstring> ExpandWinapp2Path(const std::wstring& Text, const TWinapp2Folders& Folders,
                                            std::wstring& Error);

// True when the pattern takes every name: "*", "*.*" and "**" only.
bool PatternMatchesEveryName(std::wstring_view Pattern);
// True when the pattern is made only of "*", "?" and "." ("*.", ".*", "?*"):
// the guards count it as taking every name, whatever Windows makes of it.
bool PatternIsBroad(const std::wstring& Pattern);
// True when the pattern names files by no more than an extension ("*.log",
// "*.*", "?*"): nothing literal before its last dot. "~*.doc*" and
// "ZbThumbnail.info" are specific.
bool PatternIsTypeOnly(const std::wstring& Pattern);

// A file-name pattern as Windows' own wildcard rules read it (both sides
// upper-cased): "*" any run, "?" one unit; a "*" before a dot stops at the
// name's last dot, a dot before "*" or "?" or at the end also matches the end
// of a name. So "*." takes names without an extension, ".*" names beginning
// with a dot, "A.*" both "A" and "A.TXT", and "*.*" every name.
bool MatchesNamePattern(std::wstring_view Pattern, std::wstring_view Name);
// True when MatchesNamePattern reads Pattern otherwise than MatchesPathPattern.
bool NamePatternNeedsDosRules(std::wstring_view Pattern);

// Wildcard test where "*" and "?" never cross a backslash; letters a-z compare
// without regard to case (both sides are expected upper-cased).
bool MatchesPathPattern(std::wstring_view Pattern, std::wstring_view Path);

// A registry path split into its hive and the key below it.
struct TWinapp2RegPath {
    enum THive { rhNone, rhCurrentUser, rhLocalMachine, rhUsers, rhClassesRoot, rhCurrentConfig } Hive = rhNone;
    std::wstring SubKey;  // no leading or trailing backslash; empty for the hive itself
};
// Empty optional for an unknown hive.
std::optional<TWinapp2RegPath> SplitWinapp2RegPath(const std::wstring& Key);

// Checks the entry against this computer's folders, in place:
// - a FileKey or RegKey that cannot be used (does not parse, a path that does
//   not expand, an unknown hive, a wildcard in a key) is taken out of the
//   entry and its reason joins KeyFaults; a DetectFile that does not expand
//   is noted there and stays, never holding;
// - Refusal is set when no FileKey or RegKey is left after that, when a broad
//   FileKey (broad: a pattern of only "*", "?" and "."; or a
//   recursing one that names files only by type) could empty a folder the
//   system or a user's data stands on, or a folder holding one, when a RegKey
//   names a hive, a key directly below one or Windows' own configuration,
//   or when an ExcludeKey cannot be used;
// - UserFilesWarning is set when a broad FileKey lies inside a user's own
//   folder (Documents, Pictures, Music, Videos, Desktop, Downloads, Public),
//   or when a recursing key reaching one takes documents by their type.
// Guards: the guarded folders split into their parts once (Winapp2GuardsOf),
// for a check of thousands of entries; null works them out for this entry.
struct TWinapp2Guards {
    // A folder split into its parts, upper-cased; bit i of Wild: part i holds "*" or "?".
    // The parts are kept in one string (Text) with where each lies (Spans):
    // every broad key is split, and two allocations serve all its parts.
    struct TParts {
        std::wstring Text;
        std::vector<std::pair<uint32_t, uint32_t>> Spans;  // each part's start and length in Text
        uint64_t Wild = 0;
        size_t Count() const { return Spans.size(); }
        std::wstring_view Part(size_t i) const {
            return std::wstring_view(Text).substr(Spans[i].first, Spans[i].second);
        }
    };
    std::vector<TParts> Folders;
    std::vector<TParts> UserFolders;  // the user's own files
};
TWinapp2Guards Winapp2GuardsOf(const TWinapp2Folders& Folders);
void CheckWinapp2Entry(TWinapp2Entry& Entry, const TWinapp2Folders& Folders, const TWinapp2Guards* Guards = nullptr);
// CheckWinapp2Entry on a copy: why the entry must not run, or empty.
std::wstring RefuseWinapp2Entry(const TWinapp2Entry& Entry, const TWinapp2Folders& Folders,
                                const TWinapp2Guards* Guards = nullptr);
// The reason the RegKey KeyName's key may not be touched, or empty.
std::wstring Winapp2RegistryGuard(const std::wstring& KeyName, const std::wstring& Key);

// The group an entry is listed under: Section= when given, else its LangSecRef's
// name ("其他" for an unknown number).
std::wstring Winapp2GroupName(const TWinapp2Entry& Entry);
// The entry's name as the user reads it: without the cleaners' trailing " *".
std::wstring Winapp2DisplayName(const std::wstring& Name);

// DetectOS "min|max" against the running version (major.minor); true when it
// holds. Without "|" it names one version: "6.1" holds on Windows 7 only.
bool Winapp2OsMatches(const std::wstring& DetectOS, unsigned Major, unsigned Minor);
