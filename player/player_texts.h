#pragma once
// Texts of the player strip: the catalogue keys it shows and its own fixed
// texts for failures the catalogue has no entry for.
#include <string>

namespace murrel {

enum class PlayerText {
    EncoderRefused,      // PrepareEncoding failed: the recording does not start
    ScratchUnwritable,   // a buffer could not be appended: the recording stops
    StreamBusy,          // another decoding holds the frame reader and decoder
    SaveFailed,          // moving or patching the saved recording failed
    DiscardRecording,    // the save dialog was cancelled: Yes deletes the recording
    AudioLost,           // %d: milliseconds the input device dropped while recording
    Count
};

const char* player_text(PlayerText id);

// Catalogue keys used by the strip.
inline constexpr const char* kErrNoSoundOutput = "FM_text_system_errmsg12";
inline constexpr const char* kErrBadFile = "FM_text_system_errmsg11";

// The catalogue's text for `key`, or the key itself when the catalogue has none.
std::string catalogue_text(const char* key);

// The save dialog of a recording.
inline constexpr const char* kSaveTitle = "Save VKD file";
inline constexpr const char* kSaveFilter = "Vkd-Files(*.vkd)";
inline constexpr const char* kSaveDefaultExt = "vkd";

}  // namespace murrel
