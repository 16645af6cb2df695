#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes for the files the user keeps (settings, saved list).
//
// A write never edits the file in place: the bytes go to a new file in the same folder, which is
// flushed to the disk and then renamed over the old one. A crash, a kill or a full disk in the
// middle of a save leaves either the old file or the new one, never a cut or empty file.

// Replaces path with bytes. Returns false (and leaves the old file as it was) when any step fails.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of path; nothing when the file does not exist.
// Throws std::system_error when it exists but cannot be read, so that a caller about to rewrite
// the file does not mistake an unreadable file for an empty one.
std::optional<std::string> ReadWholeFile(const std::string& path);
