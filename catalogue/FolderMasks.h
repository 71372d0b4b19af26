// Turning folder paths into the start of a mask.
//
// A folder path is data, not a pattern: "*" and "?" cannot occur in a Windows
// path, but "[" can (a user named "a[1]"), and the matcher would read it as the
// start of a set. Every place that puts a folder into a mask goes through these
// functions, so the folder is matched literally.
#pragma once

#include <string>
#include <vector>

// Text with each "[" written as the one-member set "[[]".
std::wstring EscapeMaskBrackets(const std::wstring& Text);

// The folder with a trailing backslash (an empty folder gives "\", which no
// full path matches), brackets escaped; append the rest of the mask to it.
std::wstring FolderMaskPrefix(const std::wstring& Folder);

// The mask of everything below Folder, at any depth: FolderMaskPrefix + "*".
std::wstring FolderContentMask(const std::wstring& Folder);

// The content masks (FolderContentMask) of the temporary folders that may be
// emptied, each in the walk's spelling; a refused folder (IsRefusedTemporaryFolder)
// adds none.
std::vector<std::wstring> TemporaryFolderMasks(const std::vector<std::wstring>& Folders);

// GetSpecialFolderMask (folder + "*", "\*" for an unknown folder) with the
// folder's brackets escaped.
std::wstring EscapedSpecialFolderMask(int CSIDL);

// True when Folder names an existing directory. An empty path is not a folder
// (it must not fall back to the current directory).
bool FolderExists(const std::wstring& Folder);
