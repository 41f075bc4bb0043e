// Scrambling of the stored logon passwords. It only keeps a password from being readable at a
// glance in the settings file: a fixed substitution over printable ASCII, applied once at the first
// position, twice at the second, and so on. There is no key; anyone with the program can restore
// it.
#pragma once

#include <optional>
#include <string>

namespace marlo {

// Messages shown when a password cannot be scrambled for saving or restored after loading.
inline constexpr const char* kPasswordScrambleFailed =
    "パスワードの暗号化に失敗しました.\n再度,パスワードを設定し直してください.";
inline constexpr const char* kPasswordRestoreFailed =
    "パスワードの復元に失敗しました.\n再度,パスワードを設定し直してください.";

// One substitution step; 0 for a byte outside 0x20..0x7E.
char ScrambleChar(char c);
char RestoreChar(char c);

// The scrambled or restored text, of the same length; nullopt when a byte is not printable ASCII
// (a kanji, a control byte, a value edited by hand).
std::optional<std::string> ScramblePassword(const std::string& plain);
std::optional<std::string> RestorePassword(const std::string& scrambled);

}  // namespace marlo
