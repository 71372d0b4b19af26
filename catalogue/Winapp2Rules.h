// The winapp2.ini entries of this computer: read from the program's folder and
// the settings folder, checked, detected, and compiled so that the reading pass
// can ask in a few look-ups which entries take a file.
#pragma once

#include "catalogue/Winapp2Format.h"
#include "engine/FoundFileList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What detection asks of the system; production answers from the registry and
// the file system (Winapp2SystemOfThisComputer).
struct TWinapp2System {
    TWinapp2Folders Folders;
    std::function<bool(const std::wstring& Key)> KeyExists;    // "HKCU\...", either registry view
    std::function<bool(const std::wstring& Path)> PathExists;  // a full path, "*" and "?" in any part
    unsigned Major = 10, Minor = 0;                             // the running Windows version
};

// The folders and answers of this computer.
TWinapp2System Winapp2SystemOfThisComputer();
// The folders the variables stand for on this computer.
TWinapp2Folders Winapp2FoldersOfThisComputer();
// True when a file or folder matches Path, whose parts may hold "*" and "?".
bool Winapp2PathExists(const std::wstring& Path);
// The existing folders Path (wildcards in any part) names, never through a link.
std::vector<std::wstring> ExpandWinapp2Wildcards(const std::wstring& Path);

// How one entry did in the last cleanup.
struct TWinapp2Outcome {
    int64_t Deleted = 0, NotDeleted = 0;
    uint64_t Bytes = 0;
    int64_t FoldersRemoved = 0;
    int64_t RegistryDeleted = 0;  // keys and values
};

struct TWinapp2Rule {
    TWinapp2Entry Entry;
    std::wstring Source;  // the winapp2.ini it came from
    bool Detected = false;
    bool Checked = false;
    TFoundFileList FoundFiles;  // what the last reading pass found for it
    TWinapp2Outcome Outcome;

    // A file-name pattern, upper-cased, with how it is matched.
    struct TNamePattern {
        enum TKind : uint8_t { npEvery, npLiteral, npWildcards, npDosRules } Kind = npEvery;
        std::wstring Text;
    };
    // Compiled from the entry, upper-cased; a folder with "*" or "?" is a pattern.
    struct TFolderRule {
        std::wstring Folder;
        bool Recurse = false;
        std::vector<TNamePattern> Patterns;
        // Wildcard folders: how many of Folder's parts come before its first
        // wildcard, and that part, which a file's folder must match first.
        size_t LiteralParts = 0;
        std::wstring FirstWildPart;
        // The longest part after it without a wildcard, as "\\PART": a file's
        // folder that lacks it cannot fit ("\\USER DATA" of "...\\*\\User Data\\*\\Cache").
        std::wstring Anchor;
    };
    std::vector<TFolderRule> FileRules;
    std::vector<TFolderRule> ExcludeRules;  // FILE (Recurse false) and PATH (Recurse true)
    std::vector<std::wstring> RemoveSelfFolders;  // as expanded, in the system's letter case

    bool Refused() const { return !Entry.Refusal.empty(); }
    // Offered in the window: detected, refused or not.
    bool Offered() const { return Detected; }
    // Runs in a cleanup: ticked, detected and not refused.
    bool Runs() const { return Checked && Detected && !Refused(); }
};

class TWinapp2RuleSet {
public:
    // The names of the files that were read, in reading order.
    std::vector<std::wstring> Files;
    std::vector<TWinapp2Rule> Rules;
    int SkippedLines = 0;
    // Each file that is there but could not be read (another program holds it
    // locked, ...): "<file>: <why>".
    std::vector<std::wstring> UnreadFiles;
    // SpecialDetect values the program does not know, each once.
    std::vector<std::wstring> UnknownSpecialDetects;

    // Reads winapp2.ini (any letter case) in each folder in order; an entry of
    // a later folder replaces one of the same name from an earlier one. Files
    // that cannot be read are passed over and named in UnreadFiles.
    void LoadFolders(const std::vector<std::wstring>& Folders, const TWinapp2System& System);
    // The same with the system asked by AskSystem on a thread of its own while
    // the files are read (the known folders are mostly waiting on the system).
    void LoadFolders(const std::vector<std::wstring>& Folders, const std::function<TWinapp2System()>& AskSystem);
    // Adds the entries of one file's text (tests and LoadFolders).
    void AddText(std::wstring_view Text, const std::wstring& Source, const TWinapp2System& System);
    // Checks, detects and compiles every rule; call once after the last AddText.
    void Prepare(const TWinapp2System& System);

    // The rules that take the file (upper-cased path), into Matched (cleared
    // first): detected, not refused, a FileKey's folder and pattern fit and no
    // ExcludeKey of the entry keeps it. A file meets only the rules filed under
    // its own folder or a folder above it: a rule is filed under its folder up
    // to the first wildcard, and one filed under a drive's root is tried only
    // when the file's next folder fits the rule's first wildcard part.
    void MatchFile(std::wstring_view UpperFileName, std::vector<uint32_t>& Matched) const;
    // The folders of the detected rules' FileKeys as masks for the reading
    // pass's quick test ("C:\...\FOLDER\*"); a wildcard folder keeps its
    // wildcards ("C:\*.TMP\*"), so a rule at a drive's root does not hand the
    // whole drive to MatchFile.
    std::vector<std::wstring> FolderMasks() const;

    int CheckedCount() const;
    int OfferedCount() const;
    int RefusedCount() const;
    // Keys passed over in the offered entries.
    int KeyFaultCount() const;
    // Index of the rule named Name (letter case ignored), or -1.
    int Find(const std::wstring& Name) const;

private:
    void ReadFolders(const std::vector<std::wstring>& Folders, const TWinapp2System& System);
    struct THash {
        using is_transparent = void;
        size_t operator()(std::wstring_view s) const { return std::hash<std::wstring_view>{}(s); }
    };
    struct TRef {
        uint32_t Rule, FileRule;
    };
    struct TFiled {
        std::vector<TRef> Exact;  // rules whose folder is this one
        // Wildcard rules whose folder starts with this one, by the literal
        // start of their first wildcard part ("MICROSOFT.WINDOWS" of
        // "MICROSOFT.WINDOWS*_8WEKYB3D8BBWE"); a part that starts with a
        // wildcard is filed under "". Lengths: the distinct lengths of the keys.
        std::unordered_map<std::wstring, std::vector<TRef>, THash, std::equal_to<>> Wild;
        std::vector<size_t> Lengths;
    };
    std::unordered_map<std::wstring, TFiled, THash, std::equal_to<>> FByFolder;
    std::unordered_map<std::wstring, size_t> FByName;  // upper-cased entry name -> index in Rules
    void Compile(uint32_t Index, const TWinapp2System& System);
    bool Detect(const TWinapp2Rule& Rule, const TWinapp2System& System) const;
    bool Takes(const TWinapp2Rule& Rule, const TWinapp2Rule::TFolderRule& FileRule, std::wstring_view Folder,
               std::wstring_view Name, bool Exact) const;
};

// The folders winapp2.ini is read from: Vantrel.exe's folder, then the
// settings folder (whose entries win).
std::vector<std::wstring> Winapp2Folders();
// Tests: the folders to read instead (an empty list restores the real ones).
void SetWinapp2FoldersForTesting(const std::vector<std::wstring>& Folders);
