#include "engine/PlaceholderMode.h"
#include "texts/Texts.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace {

constexpr char ExposePlaceholdersMode = 2;  // PHCM_EXPOSE_PLACEHOLDERS

struct TFunctions {
    TPlaceholderModeFunction Process = nullptr;
    TPlaceholderModeFunction Thread = nullptr;
};

TPlaceholderModeFunction NtdllFunction(const char* name) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<TPlaceholderModeFunction>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
}

TFunctions SystemFunctions() {
    return {NtdllFunction("RtlSetProcessPlaceholderCompatibilityMode"),
            NtdllFunction("RtlSetThreadPlaceholderCompatibilityMode")};
}

// The state of the process: which functions, whether the process form took,
// and the generation a thread compares its own mark with (tests start afresh).
std::mutex GLock;
bool GTestFunctions = false;
TFunctions GTest;
bool GDone = false;
bool GPerThread = false;  // only the thread form exists
// The first call that failed and its answer; put in words when asked, in the run's language.
std::wstring GFailure;
int GFailureAnswer = 0;
std::atomic<unsigned> GGeneration{1};
thread_local unsigned TExposedGeneration = 0;

TFunctions Functions() { return GTestFunctions ? GTest : SystemFunctions(); }

// A negative answer is one of the PHCM_ERROR_ values; anything else is the
// mode before the call.
void NoteFailure(const wchar_t* function, char answer) {
    if (answer >= 0 || !GFailure.empty()) return;
    GFailure = function;
    GFailureAnswer = answer;
}

}  // namespace

void ExposePlaceholders() {
    std::lock_guard<std::mutex> lock(GLock);
    if (GDone) return;
    GDone = true;
    const TFunctions functions = Functions();
    if (functions.Process != nullptr) {
        NoteFailure(L"RtlSetProcessPlaceholderCompatibilityMode", functions.Process(ExposePlaceholdersMode));
        return;
    }
    if (functions.Thread == nullptr) return;  // Windows 7/8, Wine: nothing disguises anything
    GPerThread = true;
    NoteFailure(L"RtlSetThreadPlaceholderCompatibilityMode", functions.Thread(ExposePlaceholdersMode));
    TExposedGeneration = GGeneration.load();
}

void ExposePlaceholdersOnThisThread() {
    ExposePlaceholders();
    const unsigned generation = GGeneration.load();
    if (TExposedGeneration == generation) return;
    TExposedGeneration = generation;
    std::lock_guard<std::mutex> lock(GLock);
    if (!GPerThread) return;
    const TFunctions functions = Functions();
    if (functions.Thread != nullptr)
        NoteFailure(L"RtlSetThreadPlaceholderCompatibilityMode", functions.Thread(ExposePlaceholdersMode));
}

std::wstring PlaceholderExposureFailure() {
    std::lock_guard<std::mutex> lock(GLock);
    if (GFailure.empty()) return {};
    return FormatText(TTextId::PlaceholderExposureFailed, GFailure, GFailureAnswer);
}

void SetPlaceholderModeFunctionsForTesting(TPlaceholderModeFunction Process, TPlaceholderModeFunction Thread,
                                           bool Restore) {
    std::lock_guard<std::mutex> lock(GLock);
    GTestFunctions = !Restore;
    GTest = {Process, Thread};
    GDone = false;
    GPerThread = false;
    GFailure.clear();
    GGeneration.fetch_add(1);
}
