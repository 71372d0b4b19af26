// What Vantrel and its disk cleanup handler host ("Vantrel.exe /volumecache-host
// <pipe>") say to each other over the host's pipe. Every message is one text of
// tab-separated fields (platform/MessagePipe.h); numbers are decimal.
//
// To the host, once:   RUN  op  key-path  key-name  clsid  property-bag  drives(;)  hwnd
//                      op: Scan (Initialize, GetSpaceUsed, Deactivate), Purge (the
//                      same with Purge(-1) before Deactivate), Properties
//                      (Initialize, ShowProperties, Deactivate); one handler, one
//                      new object per drive
// To the host, any time: ABORT  (every later callback answers E_ABORT)
// From the host:       BAG  display  description          the property bag's texts
//                      INIT drive  hr  flags  display  description  [create: CoCreateInstance failed]
//                      PROGRESS drive  done  total        ScanProgress/PurgeProgress
//                      SIZE drive  hr  bytes
//                      PURGED drive  hr  free-before  free-after
//                      PROPS hr
//                      DEACT drive  hr  flags
//                      CRASH code                         an exception nobody caught
//                      END
#pragma once

#include <string>

namespace VolumeCacheProtocol {
inline constexpr const wchar_t* HostSwitch = L"/volumecache-host";
inline constexpr const wchar_t* Run = L"RUN";
inline constexpr const wchar_t* Abort = L"ABORT";
inline constexpr const wchar_t* Bag = L"BAG";
inline constexpr const wchar_t* Init = L"INIT";
inline constexpr const wchar_t* Progress = L"PROGRESS";
inline constexpr const wchar_t* Size = L"SIZE";
inline constexpr const wchar_t* Purged = L"PURGED";
inline constexpr const wchar_t* Props = L"PROPS";
inline constexpr const wchar_t* Deact = L"DEACT";
inline constexpr const wchar_t* Crash = L"CRASH";
inline constexpr const wchar_t* End = L"END";
inline constexpr const wchar_t* OpScan = L"Scan";
inline constexpr const wchar_t* OpPurge = L"Purge";
inline constexpr const wchar_t* OpProperties = L"Properties";
}  // namespace VolumeCacheProtocol
