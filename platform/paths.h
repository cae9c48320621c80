// Paths and folders: the program's home folder (INI files, databases) and the
// DATA folder beside the start-up folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tav {

// The platform's path separator.
char PathSeparator();
// Joins two parts with exactly one separator between them.
std::string JoinPath(const std::string& a, const std::string& b);

// The fixed home folder: $TAVRINA1C_HOME when set and not empty, otherwise
// "$HOME/TAVRINA1c Expert" (on Windows "c:\TAVRINA1c Expert").
std::string DefaultHomeDir();
// Creates `path` level by level (each missing level with a single-level
// mkdir, failures ignored) and returns it without a trailing separator.
std::string PrepareHomeDir(const std::string& path);
// The current folder plus "DATA", created (one level) when missing. On Linux
// the folder keeps its case; Windows lower-cases it.
std::string PrepareDataDir();

std::string CurrentDir();
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsReadable(const std::string& path);
// The size of a plain file (symbolic links followed); nullopt for anything
// else or when it cannot be examined.
std::optional<uint64_t> FileSize(const std::string& path);
bool IsWritable(const std::string& path);
// Single-level directory creation; false when it could not be made.
bool MakeDir(const std::string& path);
bool RemoveFile(const std::string& path);

}  // namespace tav
