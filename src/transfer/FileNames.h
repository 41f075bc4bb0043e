// File names as they cross the line, one rule for every protocol that carries them.
//
// Received: a name that is valid UTF-8 is kept as UTF-8 (a Linux host's sz); any other name is
// read as Shift-JIS (a BBS host's), so that a trail byte 0x5C is part of its character and never
// a folder separator, and stored as UTF-8. Only the last component is kept, and only when it is a
// usable name inside the download folder.
//
// Sent: the local name (UTF-8, or Shift-JIS read as above) loses its folders and drive, '\' counts
// as a separator, single-byte letters are lower-cased, and the name goes out in the code that the
// `FileNameCode` setting names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marlo {

// Values of the `FileNameCode` setting.
enum FileNameCode : int { kFileNameSjis = 0, kFileNameUtf8 = 1 };

// A name as UTF-8: unchanged when it is valid UTF-8, otherwise converted from Shift-JIS.
std::string FileNameToUtf8(std::string_view bytes);

// The file name a received name gives, as UTF-8: its last component ('/' and '\' both separate),
// without control characters and ':', without trailing blanks and dots; so it names a file inside
// whatever folder it is put in. nullopt when nothing usable is left (an empty name, "." or "..").
std::optional<std::string> ReceivedFileName(std::string_view wire);

// The name a sender announces for a local path, as UTF-8: folders and drive dropped,
// single-byte letters lower-cased.
std::string SentFileName(std::string_view path);

// A UTF-8 name in the code a `FileNameCode` value names (an unknown value is Shift-JIS).
std::string FileNameInCode(const std::string& utf8, int code);

}  // namespace marlo
