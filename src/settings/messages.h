#pragma once

// What reading the settings file logs and shows, as users and log parsers see it. "{}" stands
// for a name, filled in by FormatMessage.

namespace capsel::msg {

inline constexpr char kReadingSettings[] = "Reading {}...";
inline constexpr char kErrorTitle[] = "Error";
inline constexpr char kUnreadableSettings[] =
    "Error while reading {}. The file is probably missing or corrupt. The application will now "
    "terminate.";
inline constexpr char kWarningTitle[] = "Warning";
inline constexpr char kIncompatibleSettings[] =
    "Warning: The file {} is not compatible with this version of {}. Dazed and confused, but "
    "trying to continue.";
// A value that cannot be used: the key, the value as written, the default that is used instead.
inline constexpr char kUnusableSetting[] =
    "---- WARNING: {} = \"{}\" cannot be used; the default ({}) stays";
inline constexpr char kUnusableTimeOffset[] =
    "---- WARNING: TimeOffset = \"{}\" cannot be used; no offset is applied";

}  // namespace capsel::msg
