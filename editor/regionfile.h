#pragma once
// The region file: one edit document apart from its audio (the WAV file's
// name, play range and position, gain points, cuts and markers) in an INI
// file written and read key by key through the profile-file layer. The Voice
// Editor keeps its clipboard's markers in one ("clipcut.tmp").
//
// Positions are in the document's TimeFormat units (the editor uses frames).
// The document's cut list and marker list are those attached to the wave
// (SetCutList, SetMarkerList); a document without one skips that part.
#include <string>

#include "editor/mmenhancedwave.h"

namespace murrel {

inline constexpr const char* kRegionFileValidate = "Tapelore Region-File";
inline constexpr const char* kRegionFileVersion = "1.00";

// Replaces any file at `path` with the document's region file. Returns true;
// the profile layer's ProfileWriteError passes to the caller.
bool WriteRegionFile(TMMEnhancedWave& document, const std::string& path);

// Restores the document from `path`. False, with the document untouched, when
// the file does not exist; false, with the document detached from its file
// and its lists cleared, when the file is not a region file or a value cannot
// be used (a list entry that is no number, a WAV file that cannot be
// attached).
bool ReadRegionFile(TMMEnhancedWave& document, const std::string& path);

}  // namespace murrel
