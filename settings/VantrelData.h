// The settings document: typed bindings over its elements, loading, creating
// and saving it, and the start-up and exit steps of the main window that read
// and write it.
//
// The binding classes are light handles on elements of one in-memory MSXML
// document; copying one copies the handle, not the element. A handle keeps its
// document alive. Elements that a reader asks for and that are missing are
// created empty, so they are present in the file written at exit.
#pragma once

#include "settings/SettingsFile.h"
#include "settings/XmlDom.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCleanupList;

// The Options element: the file protection mode, the scan mode and the directory
// counts of the last complete reading passes, all as attribute texts.
class TXMLOptionsType {
public:
    explicit TXMLOptionsType(TDomElement element) : FElement(std::move(element)) {}

    std::wstring FileProtection() const;
    void SetFileProtection(const std::wstring& Value) const;
    std::wstring ScanMode() const;
    void SetScanMode(const std::wstring& Value) const;
    std::wstring ReadDirCountQuick() const;
    void SetReadDirCountQuick(const std::wstring& Value) const;
    std::wstring ReadDirCountComplete() const;
    void SetReadDirCountComplete(const std::wstring& Value) const;
    // The display language chosen in the setup window: "zh", "en", or empty to
    // follow Windows. An attribute the older program passes over; an empty
    // choice removes it, so a file that never had one stays as it was.
    std::wstring Language() const;
    void SetLanguage(const std::wstring& Value) const;

private:
    TDomElement FElement;
};

class TXMLCleanupItemType {
public:
    explicit TXMLCleanupItemType(TDomElement element) : FElement(std::move(element)) {}

    std::wstring Name() const;
    void SetName(const std::wstring& Value) const;
    std::wstring Enabled() const;
    void SetEnabled(const std::wstring& Value) const;

private:
    TDomElement FElement;
};

class TXMLExcludeDirectoryType {
public:
    explicit TXMLExcludeDirectoryType(TDomElement element) : FElement(std::move(element)) {}

    std::wstring Name() const;
    void SetName(const std::wstring& Value) const;

private:
    TDomElement FElement;
};

// A collection element: its child elements named ItemTag, in document order.
// Other children (comments, unknown elements) are kept and not counted.
template <class TItem>
class TXMLElementCollection {
public:
    TXMLElementCollection(TDomElement element, const wchar_t* itemTag)
        : FElement(std::move(element)), FItemTag(itemTag) {}

    int Count() const { return static_cast<int>(ChildElements(FElement, FItemTag).size()); }
    // Raises EListError for an index outside 0 .. Count-1.
    TItem Items(int Index) const;
    // Appends a new, empty item.
    TItem Add() const { return TItem(InsertChildElement(FElement, FItemTag, TDomElement())); }
    // A new, empty item that becomes item Index; Index = Count appends.
    // Raises EListError for an index outside 0 .. Count.
    TItem Insert(int Index) const;
    // Removes every item.
    void Clear() const;
    // All items, in document order; cheaper than Items in a loop.
    std::vector<TItem> All() const;

private:
    TDomElement FElement;
    std::wstring FItemTag;
};

extern template class TXMLElementCollection<TXMLCleanupItemType>;
extern template class TXMLElementCollection<TXMLExcludeDirectoryType>;

class TXMLCleanupItemsType : public TXMLElementCollection<TXMLCleanupItemType> {
public:
    explicit TXMLCleanupItemsType(TDomElement element) : TXMLElementCollection(std::move(element), L"CleanupItem") {}
};

// The ticks of the winapp2.ini entries, by entry name: Winapp2Items with
// Winapp2Item children (Name, Enabled). An element the older program passes over.
class TXMLWinapp2ItemsType : public TXMLElementCollection<TXMLCleanupItemType> {
public:
    explicit TXMLWinapp2ItemsType(TDomElement element) : TXMLElementCollection(std::move(element), L"Winapp2Item") {}
};

// The ticks of Windows' disk cleanup handlers, by handler key name:
// VolumeCacheItems with VolumeCacheItem children (Name, Enabled). An element
// the older program passes over, as Winapp2Items.
class TXMLVolumeCacheItemsType : public TXMLElementCollection<TXMLCleanupItemType> {
public:
    explicit TXMLVolumeCacheItemsType(TDomElement element)
        : TXMLElementCollection(std::move(element), L"VolumeCacheItem") {}
};

class TXMLExcludeDirectoriesType : public TXMLElementCollection<TXMLExcludeDirectoryType> {
public:
    explicit TXMLExcludeDirectoriesType(TDomElement element)
        : TXMLElementCollection(std::move(element), L"ExcludeDirectory") {}
};

// The document element VantrelSettings, owning its document. Move-only: one
// owner (the main window) holds the document for the whole run.
class TXMLVantrelSettingsType {
public:
    // No document yet: any use raises EAssertionFailed until one is assigned.
    TXMLVantrelSettingsType() = default;
    TXMLVantrelSettingsType(TDomDocument document, TDomElement root);
    TXMLVantrelSettingsType(TXMLVantrelSettingsType&&) noexcept = default;
    TXMLVantrelSettingsType& operator=(TXMLVantrelSettingsType&&) noexcept = default;
    TXMLVantrelSettingsType(const TXMLVantrelSettingsType&) = delete;
    TXMLVantrelSettingsType& operator=(const TXMLVantrelSettingsType&) = delete;

    explicit operator bool() const { return static_cast<bool>(FRoot); }

    TXMLOptionsType Options() const;
    TXMLCleanupItemsType CleanupItems() const;
    TXMLExcludeDirectoriesType ExcludeDirectories() const;
    TXMLWinapp2ItemsType Winapp2Items() const;
    TXMLVolumeCacheItemsType VolumeCacheItems() const;

    // Writes the document to FileName (UTF-8, declaration version "1.0") through a
    // new file in the same folder that then replaces FileName in one step, so a
    // failure at any point leaves the previous file as it was. Before the first
    // save, a settings file that could not be read is kept (KeepUnreadableFile).
    // Raises EOSError or EXmlError on failure.
    void SaveToFile(const std::wstring& FileName);

    // The file that could not be read at start-up, which this document replaces.
    const std::wstring& UnreadableFileName() const { return FUnreadableFileName; }
    void SetUnreadableFileName(const std::wstring& FileName) { FUnreadableFileName = FileName; }
    // Copies the unreadable file to "<name>.unreadable" beside it (replacing an
    // older copy), once; does nothing when there is none or it is gone. Raises
    // EOSError when the copy fails, so that nothing is written over the file.
    void KeepUnreadableFile();

    // The document as it would be written to a file.
    std::string SaveToUtf8() const;

private:
    TDomElement Child(const wchar_t* name) const;

    TDomDocument FDocument;
    TDomElement FRoot;
    std::wstring FUnreadableFileName;
};

// The names under which the rest of the program hands the root and Options around.
using IXMLVantrelSettingsType = TXMLVantrelSettingsType;
using IXMLOptionsType = TXMLOptionsType;

// --- Creating and loading ---

// Parses FileName and binds its document element. Raises EXmlError with the
// parser's error when the file is not well-formed, and when its document element
// is not VantrelSettings; EOSError when it cannot be read.
TXMLVantrelSettingsType LoadVantrelSettings(const std::wstring& FileName);
// The language stored in FileName ("zh", "en" or empty), read before the main
// window exists; empty when the file is missing or cannot be read (the main
// window then reports why, as it always does).
std::wstring ReadLanguageSetting(const std::wstring& FileName);
// A new document with the declaration version "1.0" and an empty VantrelSettings.
TXMLVantrelSettingsType NewVantrelSettings();

// Start-up step 1: loads FileName when it exists, otherwise creates a new document.
// A file that exists but cannot be used gives a new document that remembers it
// (so the first save keeps it as "<name>.unreadable"), and ErrorMessage receives
// the text the main window shows; otherwise ErrorMessage is cleared.
TXMLVantrelSettingsType OpenVantrelSettings(const std::wstring& FileName, std::wstring& ErrorMessage);

// --- The main window's reads and writes ---

// The tick stored for Name: the first CleanupItem whose Name matches exactly
// decides; DefaultTick when there is none.
bool LoadActionTick(const TXMLCleanupItemsType& Items, const std::wstring& Name, bool DefaultTick);
// Sets the Enabled of the first CleanupItem named Name, or appends one.
void StoreActionTick(const TXMLCleanupItemsType& Items, const std::wstring& Name, bool Tick);
// The Boolean reading of an Enabled text: numbers are false for zero and true
// otherwise, "True"/"False" in any letter case, anything else true.
bool SettingsTextToBool(const std::wstring& Text);

// Start-up step 2: Ticks holds one current tick per action of List (row order) and
// receives the stored ones.
void LoadActionTicks(const TXMLVantrelSettingsType& Settings, const TCleanupList& List, std::vector<bool>& Ticks);
// The ExcludeDirectory names in document order (start-up step 3 and the setup window).
std::vector<std::wstring> LoadExcludeDirectories(const TXMLVantrelSettingsType& Settings);
// Replaces the ExcludeDirectory entries by Directories, in order (the setup window).
void StoreExcludeDirectories(const TXMLVantrelSettingsType& Settings, const std::vector<std::wstring>& Directories);

// Start-up steps 4 and 5: a FileProtection other than "None", "Uptime", "Week" or
// "Smart" becomes "Smart"; a ScanMode other than "Quick" or "Complete" becomes
// "Complete". Exact, case-sensitive comparisons.
void ValidateVantrelSettings(const TXMLVantrelSettingsType& Settings);

// The stored directory count of the last finished pass in ScanMode ("Quick" or
// "Complete"): 0 when absent, not a decimal number, or negative.
int32_t LoadReadDirCount(const TXMLOptionsType& Options, const std::wstring& ScanMode);
void StoreReadDirCount(const TXMLOptionsType& Options, const std::wstring& ScanMode, int32_t Count);

// The exit sequence: clears CleanupItems, stores one entry per action of List with
// Ticks[i] (row order), and saves to the settings file name evaluated now
// (FileName, or GetSettingsFileName when null). Raises what saving raises.
void SaveVantrelSettingsOnExit(TXMLVantrelSettingsType& Settings, const TCleanupList& List,
                               const std::vector<bool>& Ticks,
                               const std::function<std::wstring()>& FileName = nullptr);
