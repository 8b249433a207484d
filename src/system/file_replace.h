#pragma once
// Replacing a whole file in one step, as settings files shared with the ERP
// need: the bytes go to a new file in the same folder, which then takes the
// old one's place, so a crash or a full disk leaves either the old content or
// the new one, never part of either. The replaced file keeps what the ERP's
// installer or an administrator gave it: on Windows its security descriptor,
// attributes and creation time (ReplaceFileW; a plain rename would give the
// new file the folder's inherited permissions), elsewhere its mode bits.
#include <string>
#include <string_view>

namespace platform {

// False, with the old file untouched and no new file left behind, when the
// file or its folder cannot be written (a read-only file included).
bool ReplaceFileContents(const std::wstring &path, std::string_view bytes);

} // namespace platform
