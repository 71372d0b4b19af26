// The community rule file winapp2.ini: its text, its entries and the checks
// that refuse an entry before anything of it runs. Pure C++ (no <windows.h>):
// what the system knows (folders, the Windows version) comes in as data.
//
// An entry is all or nothing. A key it cannot use (a path with an unknown
// variable, a FileKey without a pattern, a RegKey at a hive's top) refuses the
// whole entry with a reason the user reads; the rest of the file still loads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One FileKeyN=path|pattern[;pattern...][|RECURSE|REMOVESELF].
struct TWinapp2FileKey {
    std::wstring Path;                  // as written, variables unexpanded
    std::vector<std::wstring> Patterns;  // file-name patterns, "*.*" already read as "*"
    bool Recurse = false;
    bool RemoveSelf = false;  // implies Recurse: the folder goes once it is emptied
};

// ExcludeKeyN=FILE|folder\|pattern, PATH|folder\|pattern or REG|key[|value].
struct TWinapp2Exclude {
    enum TKind { ekFile, ekPath, ekReg } Kind = ekFile;
    std::wstring Path;     // folder (FILE, PATH) or key (REG), as written
    std::wstring Pattern;  // FILE/PATH: a file-name pattern ("*" when none); REG: a value name or empty
};

// RegKeyN=key (the key and everything below it) or key|value (that one value).
struct TWinapp2RegKey {
    std::wstring Key;
    std::optional<std::wstring> Value;
};

struct TWinapp2Entry {
    std::wstring Name;  // the section name as written ("Discord *")
    int LangSecRef = 0;
    std::wstring Section;  // Section=: a group of its own
    std::vector<std::wstring> Detect;      // registry keys
    std::vector<std::wstring> DetectFile;  // paths, wildcards allowed
    std::wstring DetectOS;                 // "min|max", either side may be empty
    std::vector<std::wstring> SpecialDetect;
    bool Default = false;
    std::wstring Warning;
    std::vector<TWinapp2FileKey> FileKeys;
    std::vector<TWinapp2Exclude> Excludes;
    std::vector<TWinapp2RegKey> RegKeys;
    std::wstring Refusal;  // why the entry is refused; empty when it may run
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
    std::wstring SystemDrive;  // "C:"
    std::wstring WinDir, Temp, UserName;
    std::wstring UsersFolder;  // the folder that holds the profiles ("C:\Users")
};

// Every path Text stands for, variables replaced (letter case does not
// matter), separators cleaned, no trailing backslash ("C:\" stays). A variable
// with two folders (%ProgramFiles%) gives two paths. On a fault, empty with
// Error set: an unknown or missing variable, a path that is not a full local
// path ("X:\..."), a ".." or "." component.
std::vector<std::wstring> ExpandWinapp2Path(const std::wstring& Text, const TWinapp2Folders& Folders,
                                            std::wstring& Error);

// True when the pattern takes every name ("*", "*.*", "**", ...).
bool PatternMatchesEveryName(const std::wstring& Pattern);

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

// Why the entry must not run, or empty: its paths expand (every FileKey,
// ExcludeKey and DetectFile), no FileKey that reaches into subfolders, removes
// its folder or takes every name targets a folder on which the system or a
// user's data stands, no RegKey names a hive or Software, SYSTEM or Classes
// directly below one.
// Guards: the guarded folders split into their parts once (Winapp2GuardsOf),
// for a check of thousands of entries; null works them out for this entry.
struct TWinapp2Guards {
    std::vector<std::vector<std::wstring>> Folders;
};
TWinapp2Guards Winapp2GuardsOf(const TWinapp2Folders& Folders);
std::wstring RefuseWinapp2Entry(const TWinapp2Entry& Entry, const TWinapp2Folders& Folders,
                                const TWinapp2Guards* Guards = nullptr);

// The group an entry is listed under: Section= when given, else its LangSecRef's
// name ("其他" for an unknown number).
std::wstring Winapp2GroupName(const TWinapp2Entry& Entry);
// The entry's name as the user reads it: without the cleaners' trailing " *".
std::wstring Winapp2DisplayName(const std::wstring& Name);

// DetectOS "min|max" against the running version (major.minor); true when it holds.
bool Winapp2OsMatches(const std::wstring& DetectOS, unsigned Major, unsigned Minor);
