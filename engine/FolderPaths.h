// Folder paths from the environment, the registry and the settings file, in the
// spelling the directory walk reports.
//
// The walk reports long names, from the drive root, never through a link. A
// folder given in another spelling silently matches nothing: Windows writes
// TEMP in its 8.3 form for long or non-ASCII user names (C:\Users\ZHANGS~1\...),
// and a settings file may hold "/", "..", doubled or trailing separators, or a
// path that leads through a link. Folders are brought into the walk's spelling
// before they meet a mask or a walked path; the text the user typed is kept.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// "/" read as "\", doubled separators collapsed and the "\\?\" or "\\.\" prefix
// of a drive or share path dropped. Text only.
std::wstring CleanPathText(const std::wstring& Path);

// True when Path (clean text) names a place whatever the current drive and
// folder: "X:\..." or "\\server\share...".
bool IsFullyQualifiedPath(const std::wstring& Path);

// True for "X:\" and "\\server\share\" (with or without the last backslash).
bool IsRootPath(const std::wstring& Path);

// The absolute form: CleanPathText, then "." and ".." resolved (GetFullPathNameW).
// No trailing backslash except at a root ("C:\", "\\server\share\"). Empty when
// Path is not fully qualified: a relative or drive-relative folder would depend
// on the current folder.
std::wstring FullFolderPath(const std::wstring& Path);

// FullFolderPath with short 8.3 names replaced by the long ones
// (GetLongPathNameW); the full form where the folder does not exist or lies on a
// share (the walk reads fixed drives only, and a share may be slow or gone).
std::wstring LongFolderPath(const std::wstring& Path);

// Where the folder really is: links followed (GetFinalPathNameByHandleW), in the
// letter case the file system keeps. Empty when the folder cannot be opened, lies
// on a share, or the system names it outside every drive.
std::wstring LinkFreeFolderPath(const std::wstring& Path);

// The long form, in the stored letter case when no link lies on its way (so a
// mask built on it meets the walked paths); never the place a link leads to.
std::wstring WalkFolderPath(const std::wstring& Path);

// The distinct spellings under which the folder can show: the long form and the
// link-free form. Empty when Path is not fully qualified. A folder that does not
// exist has its full form alone.
std::vector<std::wstring> FolderSpellings(const std::wstring& Path);

// FolderSpellings for many folders at once: which of their folders exist is
// asked once for all of them (an excluded-folder list of 100,000 entries
// mostly shares a few parents). Answers as of the first question.
class TFolderSpeller {
public:
    std::vector<std::wstring> Spellings(const std::wstring& Path);

private:
    bool Exists(const std::wstring& full);
    std::unordered_map<std::wstring, bool> FFolderExists;  // upper-cased folder
};

// Paths compared without regard to letter case (the file system's upper-casing,
// not only a-z).
bool SamePathText(const std::wstring& A, const std::wstring& B);

// True when Inner is Folder or lies below it (both in the same spelling).
bool FolderIsOrContains(const std::wstring& Folder, const std::wstring& Inner);

// Path with one trailing backslash.
std::wstring WithTrailingBackslash(std::wstring Path);
