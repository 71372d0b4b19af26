#include "settings/VantrelData.h"
#include "texts/Texts.h"

#include "engine/Exceptions.h"
#include "engine/VantrelClasses.h"

#include <algorithm>

namespace {

constexpr wchar_t RootName[] = L"VantrelSettings";

std::wstring ToLowerAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads Text as a decimal floating-point number (blanks around it allowed).
// Returns false when it is not one; otherwise IsZero tells whether its value is 0.
bool ReadsAsNumber(const std::wstring& text, bool& isZero) {
    size_t i = 0, end = text.size();
    while (i < end && text[i] == L' ') ++i;
    while (end > i && text[end - 1] == L' ') --end;
    if (i < end && (text[i] == L'+' || text[i] == L'-')) ++i;
    bool anyDigit = false;
    isZero = true;
    for (bool afterPoint = false; i < end; ++i) {
        if (IsDigit(text[i])) {
            anyDigit = true;
            isZero = isZero && text[i] == L'0';
        } else if (text[i] == L'.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    if (i < end && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < end && (text[i] == L'+' || text[i] == L'-')) ++i;
        if (i == end || !IsDigit(text[i])) return false;
        while (i < end && IsDigit(text[i])) ++i;
    }
    return i == end;
}

// A decimal integer (leading blanks and a sign allowed) that fits 32 bits, or Default.
int32_t StrToIntDef(const std::wstring& text, int32_t defaultValue) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i == text.size()) return defaultValue;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return defaultValue;
        value = value * 10 + (text[i] - L'0');
        if (value > int64_t(INT32_MAX) + 1) return defaultValue;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return defaultValue;
    return static_cast<int32_t>(value);
}

}  // namespace

// --- Element bindings ---

std::wstring TXMLOptionsType::Language() const { return GetAttributeText(FElement, L"Language"); }
void TXMLOptionsType::SetLanguage(const std::wstring& Value) const {
    if (Value.empty()) RemoveAttribute(FElement, L"Language");
    else SetAttributeText(FElement, L"Language", Value);
}

std::wstring TXMLOptionsType::FileProtection() const { return GetAttributeText(FElement, L"FileProtection"); }
void TXMLOptionsType::SetFileProtection(const std::wstring& Value) const {
    SetAttributeText(FElement, L"FileProtection", Value);
}
std::wstring TXMLOptionsType::ScanMode() const { return GetAttributeText(FElement, L"ScanMode"); }
void TXMLOptionsType::SetScanMode(const std::wstring& Value) const { SetAttributeText(FElement, L"ScanMode", Value); }
std::wstring TXMLOptionsType::ReadDirCountQuick() const { return GetAttributeText(FElement, L"ReadDirCountQuick"); }
void TXMLOptionsType::SetReadDirCountQuick(const std::wstring& Value) const {
    SetAttributeText(FElement, L"ReadDirCountQuick", Value);
}
std::wstring TXMLOptionsType::ReadDirCountComplete() const {
    return GetAttributeText(FElement, L"ReadDirCountComplete");
}
void TXMLOptionsType::SetReadDirCountComplete(const std::wstring& Value) const {
    SetAttributeText(FElement, L"ReadDirCountComplete", Value);
}

std::wstring TXMLCleanupItemType::Name() const { return GetAttributeText(FElement, L"Name"); }
void TXMLCleanupItemType::SetName(const std::wstring& Value) const { SetAttributeText(FElement, L"Name", Value); }
std::wstring TXMLCleanupItemType::Enabled() const { return GetAttributeText(FElement, L"Enabled"); }
void TXMLCleanupItemType::SetEnabled(const std::wstring& Value) const { SetAttributeText(FElement, L"Enabled", Value); }

std::wstring TXMLExcludeDirectoryType::Name() const { return GetAttributeText(FElement, L"Name"); }
void TXMLExcludeDirectoryType::SetName(const std::wstring& Value) const { SetAttributeText(FElement, L"Name", Value); }

// --- Collections ---

template <class TItem>
TItem TXMLElementCollection<TItem>::Items(int Index) const {
    std::vector<TDomElement> elements = ChildElements(FElement, FItemTag);
    if (Index < 0 || Index >= static_cast<int>(elements.size()))
        throw EListError(FormatText(TTextId::ErrorListIndex, Index));
    return TItem(std::move(elements[static_cast<size_t>(Index)]));
}

template <class TItem>
TItem TXMLElementCollection<TItem>::Insert(int Index) const {
    std::vector<TDomElement> elements = ChildElements(FElement, FItemTag);
    if (Index < 0 || Index > static_cast<int>(elements.size()))
        throw EListError(FormatText(TTextId::ErrorListIndex, Index));
    const TDomElement before = Index < static_cast<int>(elements.size()) ? elements[static_cast<size_t>(Index)]
                                                                         : TDomElement();
    return TItem(InsertChildElement(FElement, FItemTag, before));
}

template <class TItem>
void TXMLElementCollection<TItem>::Clear() const {
    for (const TDomElement& element : ChildElements(FElement, FItemTag)) RemoveChild(FElement, element);
}

template <class TItem>
std::vector<TItem> TXMLElementCollection<TItem>::All() const {
    std::vector<TItem> items;
    for (TDomElement& element : ChildElements(FElement, FItemTag)) items.emplace_back(std::move(element));
    return items;
}

template class TXMLElementCollection<TXMLCleanupItemType>;
template class TXMLElementCollection<TXMLExcludeDirectoryType>;

// --- The root ---

TXMLVantrelSettingsType::TXMLVantrelSettingsType(TDomDocument document, TDomElement root)
    : FDocument(std::move(document)), FRoot(std::move(root)) {}

TDomElement TXMLVantrelSettingsType::Child(const wchar_t* name) const {
    Assert(static_cast<bool>(FRoot), L"TXMLVantrelSettingsType: no settings document");
    TDomElement element = FindChildElement(FRoot, name);
    return element ? element : InsertChildElement(FRoot, name, TDomElement());
}

TXMLOptionsType TXMLVantrelSettingsType::Options() const { return TXMLOptionsType(Child(L"Options")); }
TXMLCleanupItemsType TXMLVantrelSettingsType::CleanupItems() const {
    return TXMLCleanupItemsType(Child(L"CleanupItems"));
}
TXMLExcludeDirectoriesType TXMLVantrelSettingsType::ExcludeDirectories() const {
    return TXMLExcludeDirectoriesType(Child(L"ExcludeDirectories"));
}

TXMLWinapp2ItemsType TXMLVantrelSettingsType::Winapp2Items() const {
    return TXMLWinapp2ItemsType(Child(L"Winapp2Items"));
}

TXMLVolumeCacheItemsType TXMLVantrelSettingsType::VolumeCacheItems() const {
    return TXMLVolumeCacheItemsType(Child(L"VolumeCacheItems"));
}

std::string TXMLVantrelSettingsType::SaveToUtf8() const {
    Assert(static_cast<bool>(FDocument), L"TXMLVantrelSettingsType: no settings document");
    return SerializeDomToUtf8(FDocument);
}

void TXMLVantrelSettingsType::KeepUnreadableFile() {
    if (FUnreadableFileName.empty()) return;
    if (SettingsFileExists(FUnreadableFileName))
        CopySettingsFile(FUnreadableFileName, FUnreadableFileName + L".unreadable");
    FUnreadableFileName.clear();
}

void TXMLVantrelSettingsType::SaveToFile(const std::wstring& FileName) {
    const std::string bytes = SaveToUtf8();
    KeepUnreadableFile();
    WriteSettingsFile(FileName, bytes);
}

// --- Creating and loading ---

TXMLVantrelSettingsType LoadVantrelSettings(const std::wstring& FileName) {
    const std::string bytes = ReadSettingsFile(FileName);
    TDomDocument document = CreateDomDocument();
    try {
        LoadDomFromBytes(document, bytes);
    } catch (const EXmlError& e) {
        throw EXmlError(FormatText(TTextId::ErrorSettingsNotXml, FileName, e.Message()));
    }
    TDomElement root = DocumentElement(document);
    if (!root || ElementName(root) != RootName)
        throw EXmlError(FormatText(TTextId::ErrorSettingsNotOurs, FileName));
    return TXMLVantrelSettingsType(std::move(document), std::move(root));
}

std::wstring ReadLanguageSetting(const std::wstring& FileName) {
    try {
        if (!SettingsFileExists(FileName)) return L"";
        return LoadVantrelSettings(FileName).Options().Language();
    } catch (...) {
        return L"";
    }
}

TXMLVantrelSettingsType NewVantrelSettings() {
    TDomDocument document = CreateDomDocument();
    AddXmlDeclaration(document);
    TDomElement root = CreateDocumentElement(document, RootName);
    return TXMLVantrelSettingsType(std::move(document), std::move(root));
}

TXMLVantrelSettingsType OpenVantrelSettings(const std::wstring& FileName, std::wstring& ErrorMessage) {
    ErrorMessage.clear();
    if (!SettingsFileExists(FileName)) return NewVantrelSettings();
    try {
        return LoadVantrelSettings(FileName);
    } catch (const Exception& e) {
        ErrorMessage = FormatText(TTextId::ErrorSettingsDefaults, e.Message(), FileName);
    }
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.SetUnreadableFileName(FileName);
    return settings;
}

// --- The main window's reads and writes ---

bool SettingsTextToBool(const std::wstring& Text) {
    bool isZero = false;
    if (ReadsAsNumber(Text, isZero)) return !isZero;
    return ToLowerAscii(Text) != L"false";
}

bool LoadActionTick(const TXMLCleanupItemsType& Items, const std::wstring& Name, bool DefaultTick) {
    for (const TXMLCleanupItemType& item : Items.All())
        if (item.Name() == Name) return SettingsTextToBool(item.Enabled());
    return DefaultTick;
}

void StoreActionTick(const TXMLCleanupItemsType& Items, const std::wstring& Name, bool Tick) {
    const wchar_t* text = Tick ? L"True" : L"False";
    for (const TXMLCleanupItemType& item : Items.All()) {
        if (item.Name() == Name) {
            item.SetEnabled(text);
            return;
        }
    }
    const TXMLCleanupItemType item = Items.Add();
    item.SetName(Name);
    item.SetEnabled(text);
}

void LoadActionTicks(const TXMLVantrelSettingsType& Settings, const TCleanupList& List, std::vector<bool>& Ticks) {
    Assert(Ticks.size() == static_cast<size_t>(List.Count()), L"LoadActionTicks: one tick per action");
    const TXMLCleanupItemsType items = Settings.CleanupItems();
    for (int i = 0; i < List.Count(); ++i) Ticks[i] = LoadActionTick(items, List.Items(i).Key, Ticks[i]);
}

std::vector<std::wstring> LoadExcludeDirectories(const TXMLVantrelSettingsType& Settings) {
    std::vector<std::wstring> directories;
    for (const TXMLExcludeDirectoryType& item : Settings.ExcludeDirectories().All()) directories.push_back(item.Name());
    return directories;
}

void StoreExcludeDirectories(const TXMLVantrelSettingsType& Settings, const std::vector<std::wstring>& Directories) {
    const TXMLExcludeDirectoriesType items = Settings.ExcludeDirectories();
    items.Clear();
    for (const std::wstring& directory : Directories) items.Add().SetName(directory);
}

void ValidateVantrelSettings(const TXMLVantrelSettingsType& Settings) {
    const TXMLOptionsType options = Settings.Options();
    const std::wstring protection = options.FileProtection();
    if (protection != L"None" && protection != L"Uptime" && protection != L"Week" && protection != L"Smart")
        options.SetFileProtection(L"Smart");
    const std::wstring scanMode = options.ScanMode();
    if (scanMode != L"Quick" && scanMode != L"Complete") options.SetScanMode(L"Complete");
}

int32_t LoadReadDirCount(const TXMLOptionsType& Options, const std::wstring& ScanMode) {
    const std::wstring text = ScanMode == L"Quick" ? Options.ReadDirCountQuick() : Options.ReadDirCountComplete();
    // A negative count is as meaningless as a missing one: no percentage for the next pass.
    return std::max<int32_t>(0, StrToIntDef(text, 0));
}

void StoreReadDirCount(const TXMLOptionsType& Options, const std::wstring& ScanMode, int32_t Count) {
    if (ScanMode == L"Quick")
        Options.SetReadDirCountQuick(std::to_wstring(Count));
    else
        Options.SetReadDirCountComplete(std::to_wstring(Count));
}

void SaveVantrelSettingsOnExit(TXMLVantrelSettingsType& Settings, const TCleanupList& List,
                               const std::vector<bool>& Ticks, const std::function<std::wstring()>& FileName) {
    Assert(Ticks.size() == static_cast<size_t>(List.Count()), L"SaveVantrelSettingsOnExit: one tick per action");
    const TXMLCleanupItemsType items = Settings.CleanupItems();
    items.Clear();
    for (int i = 0; i < List.Count(); ++i) StoreActionTick(items, List.Items(i).Key, Ticks[i]);
    // Before the name is worked out: that may move or delete the file beside the executable.
    Settings.KeepUnreadableFile();
    Settings.SaveToFile(FileName ? FileName() : GetSettingsFileName());
}
