// The classes of volumecache-standin.dll, the disk cleanup handler that the
// tests register in the sandbox in place of Windows' own.
#pragma once

// IEmptyVolumeCache and IEmptyVolumeCache2 (InitializeEx is used).
#define VT_STANDIN_CLSID L"{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1001}"
// IEmptyVolumeCache2 only: Initialize answers E_NOTIMPL.
#define VT_STANDIN_V2ONLY_CLSID L"{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1002}"
// IEmptyVolumeCache only: no InitializeEx.
#define VT_STANDIN_V1ONLY_CLSID L"{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1003}"
// An IPropertyBag that gives a "Description".
#define VT_STANDIN_BAG_CLSID L"{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1004}"

// The string resource with the indirect display name ("@<dll>,-101").
#define VT_STANDIN_DISPLAY_ID 101
#define VT_STANDIN_BAG_DESCRIPTION L"由属性包提供的说明"
