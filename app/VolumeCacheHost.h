// The host of Windows' disk cleanup handlers: "Vantrel.exe /volumecache-host
// <pipe>". It runs one handler for the process that started it and reports over
// the pipe (catalogue/VolumeCacheProtocol.h). No window, no single-instance
// check, no settings; it ends when its work is done or its pipe closes, and an
// exception the handler leaves uncaught is reported as CRASH before the process ends.
#pragma once

#include <string>
#include <vector>

// The pipe's name when the arguments ask for host mode ("/volumecache-host <pipe>"
// right after the program's name); empty otherwise.
std::wstring VolumeCacheHostPipeName(const std::vector<std::wstring>& Args);
std::wstring VolumeCacheHostPipeNameOfProcess();

// Runs the host; the process's exit code.
int RunVolumeCacheHost(const std::wstring& PipeName);
