// campaign-helper.exe: the Windows side of the deletion-safety campaign
// (tests/e2e/campaign). It does what only a process inside the sandbox can do:
// set DOS attributes, hold files open without delete sharing (Wine enforces
// share modes only between its own processes), and create the single-instance
// shared block of another executable filled with garbage. It then stays alive,
// keeping those handles, until a stop file appears.
//
// Usage: campaign-helper.exe <command file> <ready file> <stop file>
// The command file is UTF-8, one command a line, fields separated by one tab:
//   attr <hex attributes> <path>   SetFileAttributesW
//   hold <path>                    open for reading with share mode 0
//   map  <name> <bytes> <pattern>  named page-file block; pattern: huge-count,
//                                  huge-both, random, ones, small
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return L"";
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    return fields;
}

// Paths beyond MAX_PATH need the \\?\ form.
std::wstring LongForm(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\", 0) == 0) return path;
    return L"\\\\?\\" + path;
}

void FillGarbage(uint8_t* view, size_t size, const std::string& pattern) {
    uint32_t seed = 0x9E3779B9u;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    for (size_t i = 0; i < size; ++i) view[i] = pattern == "ones" ? 0xFF : static_cast<uint8_t>(next());
    auto* words = reinterpret_cast<uint16_t*>(view);
    if (size < 4) return;
    if (pattern == "huge-count") {  // one instance allowed, a huge number registered
        words[0] = 1;
        words[1] = 0xFFFF;
    } else if (pattern == "huge-both") {  // huge maximum and huge count
        words[0] = 0xFFFF;
        words[1] = 0xFFFF;
    }
}

struct TState {
    std::vector<HANDLE> Handles;
    std::vector<void*> Views;
    int Failures = 0;
};

void RunCommand(const std::vector<std::string>& f, TState& state, FILE* log) {
    if (f.size() == 3 && f[0] == "attr") {
        const DWORD attributes = std::stoul(f[1], nullptr, 16);
        if (!::SetFileAttributesW(LongForm(Widen(f[2])).c_str(), attributes)) {
            std::fprintf(log, "attr failed %lu: %s\n", ::GetLastError(), f[2].c_str());
            ++state.Failures;
        }
    } else if (f.size() == 2 && f[0] == "hold") {
        HANDLE file = ::CreateFileW(LongForm(Widen(f[1])).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fprintf(log, "hold failed %lu: %s\n", ::GetLastError(), f[1].c_str());
            ++state.Failures;
        } else {
            state.Handles.push_back(file);
        }
    } else if (f.size() == 4 && f[0] == "map") {
        const DWORD size = std::stoul(f[2]);
        HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, Widen(f[1]).c_str());
        void* view = mapping ? ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size) : nullptr;
        if (!view) {
            std::fprintf(log, "map failed %lu: %s\n", ::GetLastError(), f[1].c_str());
            ++state.Failures;
            return;
        }
        FillGarbage(static_cast<uint8_t*>(view), size, f[3]);
        if (size >= 4) {
            const auto* words = static_cast<const uint16_t*>(view);
            std::fprintf(log, "block %u %u\n", words[0], words[1]);  // maximum and count as planted
        }
        state.Handles.push_back(mapping);
        state.Views.push_back(view);
    } else {
        std::fprintf(log, "bad command: %s\n", f.empty() ? "" : f[0].c_str());
        ++state.Failures;
    }
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    std::ifstream commands(argv[1], std::ios::binary);
    if (!commands) return 2;
    TState state;
    const std::wstring ready = argv[2];
    FILE* log = _wfopen((ready + L".log").c_str(), L"w");
    if (!log) return 2;
    std::string line;
    while (std::getline(commands, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) RunCommand(SplitTabs(line), state, log);
    }
    std::fprintf(log, "held %zu handles, %d failures\n", state.Handles.size(), state.Failures);
    std::fclose(log);
    if (FILE* done = _wfopen(ready.c_str(), L"w")) std::fclose(done);
    // Ten minutes at most, so a forgotten helper cannot outlive its campaign.
    for (int i = 0; i < 6000 && !Exists(argv[3]); ++i) ::Sleep(100);
    for (void* view : state.Views) ::UnmapViewOfFile(view);
    for (HANDLE handle : state.Handles) ::CloseHandle(handle);
    return state.Failures == 0 ? 0 : 1;
}
