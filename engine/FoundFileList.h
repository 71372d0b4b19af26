// The found files of one file-mask action: full paths in the order the walk
// reported them, duplicates kept, each with the size the walk saw.
//
// A reading pass can find a million files (a runaway program's temp folder), so
// a path is not a string of its own: its folder's text is kept once however many
// files the folder holds, and the names sit one after another in blocks of text.
// A found file then costs its name and a 16-byte record. To every caller the list
// reads as a list of strings: indexing and iterating give the full path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TFoundFileList {
public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::wstring;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::wstring;

        const_iterator() = default;
        const_iterator(const TFoundFileList* list, size_t index) : FList(list), FIndex(index) {}
        std::wstring operator*() const { return (*FList)[FIndex]; }
        std::wstring operator[](difference_type n) const { return (*FList)[FIndex + static_cast<size_t>(n)]; }
        const_iterator& operator++() { ++FIndex; return *this; }
        const_iterator operator++(int) { const_iterator old = *this; ++FIndex; return old; }
        const_iterator& operator--() { --FIndex; return *this; }
        const_iterator operator--(int) { const_iterator old = *this; --FIndex; return old; }
        const_iterator& operator+=(difference_type n) { FIndex += static_cast<size_t>(n); return *this; }
        const_iterator& operator-=(difference_type n) { FIndex -= static_cast<size_t>(n); return *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.FIndex) - static_cast<difference_type>(b.FIndex);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.FIndex == b.FIndex; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.FIndex <=> b.FIndex; }

    private:
        const TFoundFileList* FList = nullptr;
        size_t FIndex = 0;
    };
    using iterator = const_iterator;
    using value_type = std::wstring;
    using size_type = size_t;

    TFoundFileList() = default;
    TFoundFileList(std::initializer_list<std::wstring> paths) { assign(paths.begin(), paths.end()); }
    TFoundFileList(const std::vector<std::wstring>& paths) { assign(paths.begin(), paths.end()); }
    TFoundFileList(const TFoundFileList& other);
    TFoundFileList(TFoundFileList&&) noexcept = default;
    TFoundFileList& operator=(const TFoundFileList& other);
    TFoundFileList& operator=(TFoundFileList&&) noexcept = default;
    TFoundFileList& operator=(std::initializer_list<std::wstring> paths);
    TFoundFileList& operator=(const std::vector<std::wstring>& paths);

    size_t size() const { return FEntries.size(); }
    bool empty() const { return FEntries.empty(); }
    // Frees every block: a list emptied by a cleanup holds no memory until the next pass.
    void clear();
    void push_back(std::wstring_view path) { Add(path, 0); }
    void assign(size_t count, std::wstring_view path);
    template <class It>
    void assign(It first, It last) {
        clear();
        for (; first != last; ++first) push_back(*first);
    }

    // Appends Path with its size in bytes.
    void Add(std::wstring_view Path, uint64_t Size);
    // The full path of the Index-th file (no check of Index, like a vector's).
    std::wstring operator[](size_t Index) const;
    // The same into Target, which keeps its buffer: no allocation once it is large enough.
    void PathInto(size_t Index, std::wstring& Target) const;
    // The folder (with its trailing backslash; empty for a path without one) and the name.
    std::wstring_view Directory(size_t Index) const;
    std::wstring_view Name(size_t Index) const;
    uint64_t Size(size_t Index) const { return FEntries[Index].Size; }
    // The sum of the sizes of the files in the list, duplicates counted each time.
    uint64_t TotalSize() const { return FTotalSize; }

    // Removes the files for which Remove(Index) is true, keeping the others' order.
    template <class Predicate>
    size_t EraseIf(Predicate Remove) {
        size_t kept = 0;
        for (size_t i = 0; i < FEntries.size(); ++i) {
            if (Remove(i)) {
                FTotalSize -= FEntries[i].Size;
                continue;
            }
            FEntries[kept++] = FEntries[i];
        }
        const size_t removed = FEntries.size() - kept;
        FEntries.resize(kept);
        if (FEntries.empty()) clear();
        return removed;
    }

    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, FEntries.size()); }

    operator std::vector<std::wstring>() const { return std::vector<std::wstring>(begin(), end()); }
    friend bool operator==(const TFoundFileList& a, const TFoundFileList& b);
    friend bool operator==(const TFoundFileList& a, const std::vector<std::wstring>& b);

private:
    // Where a piece of text lies: block (high bits) and unit within it.
    using TTextRef = uint32_t;
    struct TEntry {
        uint64_t Size;
        uint32_t Directory;  // index into FDirectories
        TTextRef Name;
    };
    struct TDirectory {
        TTextRef Text;
        uint32_t Hash;
    };
    static constexpr unsigned BlockBits = 16;  // 64K units (128 KB) a block
    static constexpr size_t BlockUnits = size_t{1} << BlockBits;

    // Stores Text with its length in front; a text longer than a block gets a block of its own.
    TTextRef StoreText(std::wstring_view Text);
    std::wstring_view TextAt(TTextRef Ref) const;
    uint32_t DirectoryOf(std::wstring_view Directory);
    void GrowDirectoryTable();

    std::vector<TEntry> FEntries;
    std::vector<TDirectory> FDirectories;
    // Open addressing over FDirectories: index + 1, 0 for a free slot; at most half full.
    std::vector<uint32_t> FDirectoryTable;
    std::vector<std::unique_ptr<wchar_t[]>> FBlocks;
    size_t FBlockUsed = BlockUnits;  // units used in the last block
    uint32_t FLastDirectory = UINT32_MAX;  // the walk reports a folder's files one after another
    uint64_t FTotalSize = 0;
};
