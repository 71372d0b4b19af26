// The face of the program's font. Tahoma, as the windows were drawn for, when
// Chinese renders in it (Windows links Tahoma to a CJK font, and so does Wine
// under a Chinese locale); otherwise a face that has the glyphs, so Chinese
// never shows as empty boxes, whatever the display language.
#pragma once

#include <string>
#include <vector>

// Decided once, on first use (before the program's second thread starts).
const std::wstring& ProgramFontFace();
// Tests measure the windows in the face another system would give (empty: decide again).
void SetProgramFontFaceForTesting(const std::wstring& Face);

// Whether Chinese text drawn in Face, with the system's font linking, shows
// real glyphs: two different characters that come out as the same picture are
// the missing-glyph box.
bool FaceRendersChinese(const std::wstring& Face);

// The faces the system offers for GB2312 text, vertical ("@") faces left out.
std::vector<std::wstring> ChineseFontFaces();

// The face to use from Candidates (as ChineseFontFaces gives them): the first
// of the well-known Chinese UI faces present, else the first candidate; empty
// when there is none.
std::wstring PreferredChineseFace(const std::vector<std::wstring>& Candidates);
