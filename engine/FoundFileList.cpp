#include "engine/FoundFileList.h"

#include <algorithm>
#include <cstring>

namespace {

// Four units a step: folders are long and a found file's folder is hashed every time.
uint32_t HashOf(std::wstring_view text) {
    uint64_t hash = 0x9E3779B97F4A7C15ULL ^ text.size();
    size_t i = 0;
    for (; i + 4 <= text.size(); i += 4) {
        uint64_t word = 0;
        for (size_t k = 0; k < 4; ++k) word |= static_cast<uint64_t>(static_cast<uint16_t>(text[i + k])) << (16 * k);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
        hash ^= hash >> 29;
    }
    for (; i < text.size(); ++i) hash = (hash ^ static_cast<uint16_t>(text[i])) * 0xC4CEB9FE1A85EC53ULL;
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// The folder part of a path, with its trailing backslash.
size_t DirectoryLength(std::wstring_view path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring_view::npos ? 0 : slash + 1;
}

constexpr size_t LengthUnits = 2;  // a text's length, in front of it, in two units

}  // namespace

TFoundFileList::TFoundFileList(const TFoundFileList& other) { *this = other; }

TFoundFileList& TFoundFileList::operator=(const TFoundFileList& other) {
    if (this == &other) return *this;
    clear();
    FEntries.reserve(other.size());
    for (size_t i = 0; i < other.size(); ++i) {
        std::wstring path;
        other.PathInto(i, path);
        Add(path, other.Size(i));
    }
    return *this;
}

TFoundFileList& TFoundFileList::operator=(std::initializer_list<std::wstring> paths) {
    assign(paths.begin(), paths.end());
    return *this;
}

TFoundFileList& TFoundFileList::operator=(const std::vector<std::wstring>& paths) {
    assign(paths.begin(), paths.end());
    return *this;
}

void TFoundFileList::clear() {
    // Swapped out, not cleared: clear() would keep the capacity.
    std::vector<TEntry>().swap(FEntries);
    std::vector<TDirectory>().swap(FDirectories);
    std::vector<uint32_t>().swap(FDirectoryTable);
    std::vector<std::unique_ptr<wchar_t[]>>().swap(FBlocks);
    FBlockUsed = BlockUnits;
    FLastDirectory = UINT32_MAX;
    FTotalSize = 0;
}

void TFoundFileList::assign(size_t count, std::wstring_view path) {
    clear();
    for (size_t i = 0; i < count; ++i) push_back(path);
}

TFoundFileList::TTextRef TFoundFileList::StoreText(std::wstring_view Text) {
    const size_t needed = Text.size() + LengthUnits;
    if (needed > BlockUnits) {
        FBlocks.push_back(std::make_unique_for_overwrite<wchar_t[]>(needed));
        FBlockUsed = BlockUnits;  // the next text starts a block of its own
    } else if (FBlockUsed + needed > BlockUnits) {
        FBlocks.push_back(std::make_unique_for_overwrite<wchar_t[]>(BlockUnits));
        FBlockUsed = 0;
    }
    const size_t offset = needed > BlockUnits ? 0 : FBlockUsed;
    wchar_t* at = FBlocks.back().get() + offset;
    const auto length = static_cast<uint32_t>(Text.size());
    at[0] = static_cast<wchar_t>(length & 0xFFFF);
    at[1] = static_cast<wchar_t>(length >> 16);
    std::memcpy(at + LengthUnits, Text.data(), Text.size() * sizeof(wchar_t));
    if (needed <= BlockUnits) FBlockUsed += needed;
    return static_cast<TTextRef>(((FBlocks.size() - 1) << BlockBits) | offset);
}

std::wstring_view TFoundFileList::TextAt(TTextRef Ref) const {
    const wchar_t* at = FBlocks[Ref >> BlockBits].get() + (Ref & (BlockUnits - 1));
    const size_t length = static_cast<uint16_t>(at[0]) | (static_cast<size_t>(static_cast<uint16_t>(at[1])) << 16);
    return {at + LengthUnits, length};
}

uint32_t TFoundFileList::DirectoryOf(std::wstring_view Directory) {
    if (FLastDirectory != UINT32_MAX && TextAt(FDirectories[FLastDirectory].Text) == Directory) return FLastDirectory;
    const uint32_t hash = HashOf(Directory);
    if (FDirectoryTable.empty()) FDirectoryTable.assign(64, 0);
    const size_t mask = FDirectoryTable.size() - 1;
    size_t slot = hash & mask;
    for (; FDirectoryTable[slot] != 0; slot = (slot + 1) & mask) {
        const uint32_t index = FDirectoryTable[slot] - 1;
        if (FDirectories[index].Hash == hash && TextAt(FDirectories[index].Text) == Directory)
            return FLastDirectory = index;
    }
    const auto index = static_cast<uint32_t>(FDirectories.size());
    FDirectories.push_back({StoreText(Directory), hash});
    FDirectoryTable[slot] = index + 1;
    if (2 * FDirectories.size() > FDirectoryTable.size()) GrowDirectoryTable();
    return FLastDirectory = index;
}

void TFoundFileList::GrowDirectoryTable() {
    std::vector<uint32_t> grown(FDirectoryTable.size() * 2, 0);
    const size_t mask = grown.size() - 1;
    for (size_t index = 0; index < FDirectories.size(); ++index) {
        size_t slot = FDirectories[index].Hash & mask;
        while (grown[slot] != 0) slot = (slot + 1) & mask;
        grown[slot] = static_cast<uint32_t>(index + 1);
    }
    FDirectoryTable.swap(grown);
}

void TFoundFileList::Add(std::wstring_view Path, uint64_t Size) {
    const size_t directoryLength = DirectoryLength(Path);
    const uint32_t directory = DirectoryOf(Path.substr(0, directoryLength));
    FEntries.push_back({Size, directory, StoreText(Path.substr(directoryLength))});
    FTotalSize += Size;
}

std::wstring_view TFoundFileList::Directory(size_t Index) const {
    return TextAt(FDirectories[FEntries[Index].Directory].Text);
}

std::wstring_view TFoundFileList::Name(size_t Index) const { return TextAt(FEntries[Index].Name); }

std::wstring TFoundFileList::operator[](size_t Index) const {
    std::wstring path;
    PathInto(Index, path);
    return path;
}

void TFoundFileList::PathInto(size_t Index, std::wstring& Target) const {
    const std::wstring_view directory = Directory(Index), name = Name(Index);
    Target.resize(directory.size() + name.size());
    std::copy(directory.begin(), directory.end(), Target.begin());
    std::copy(name.begin(), name.end(), Target.begin() + static_cast<std::ptrdiff_t>(directory.size()));
}

bool operator==(const TFoundFileList& a, const TFoundFileList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a.Directory(i) != b.Directory(i) || a.Name(i) != b.Name(i)) return false;
    return true;
}

bool operator==(const TFoundFileList& a, const std::vector<std::wstring>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const std::wstring_view directory = a.Directory(i), name = a.Name(i);
        const std::wstring_view path = b[i];
        if (path.size() != directory.size() + name.size() || !path.starts_with(directory) || !path.ends_with(name))
            return false;
    }
    return true;
}
