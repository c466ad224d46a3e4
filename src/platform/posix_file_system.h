// The system's own files behind FileSystem: open(2) without following a
// symbolic link and without waiting on a FIFO, fstat, flock, fsync and
// ftruncate on one descriptor per file.
#pragma once

#include <optional>

#include "platform/file_system.h"

namespace varnel {

// The one instance a run uses.
FileSystem& SystemFileSystem();

// The file an open descriptor leads to; nullopt when it is not open.
std::optional<FileIdentity> DescriptorIdentity(int fd);
// The identity of the file a path names (links followed); nullopt when there
// is none.
std::optional<FileIdentity> PathIdentity(const std::string& path);

}  // namespace varnel
