// File attributes as SetFileAttributesW takes them.
#pragma once

#include <windows.h>

namespace setup::win32 {

// What SetFileAttributesW may be handed of `attributes`: not the bits the file system keeps by itself, and
// FILE_ATTRIBUTE_NORMAL for "no bits at all", which is how it must be said.
inline DWORD SettableAttributes(DWORD attributes) {
    constexpr DWORD kKeptByTheFileSystem = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_NORMAL |
                                           FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_REPARSE_POINT |
                                           FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;
    const DWORD settable = attributes & ~kKeptByTheFileSystem;
    return settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace setup::win32
