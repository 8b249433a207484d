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

// Who may open a file that does not exist yet: whom its folder lets (the
// mode the umask leaves), or its owner alone (mode 0600), for files that hold
// a password. On Windows a new file always takes the folder's inherited
// access list, as the ERP's own files there do: the machine-wide start-up
// entry starts the program for every user who logs on, and each of them must
// read and save the settings; who may is the folder's business.
enum class NewFileAccess { Inherited, OwnerOnly };

// False, with the old file untouched and no new file left behind, when the
// file or its folder cannot be written (a read-only file included).
bool ReplaceFileContents(const std::wstring &path, std::string_view bytes,
                         NewFileAccess newFile = NewFileAccess::Inherited);

} // namespace platform
