// SHA-256 (FIPS 180-4), for checking the medium's files against the digests recorded in setup.exe.
//
// Our own, rather than the system's: the core uses it both on Windows and in the native tests' in-memory
// machine, it is checked there against the standard's test vectors, and the elevated program loads no
// cryptography library for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace setup {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    // Adds bytes; may be called any number of times, with pieces of any size.
    void Update(const void* data, std::size_t size);
    // The digest of everything added. The object is spent afterwards.
    Sha256Digest Finish();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t filled_ = 0;    // bytes waiting in block_
    std::uint64_t length_ = 0;  // bytes added in all
};

Sha256Digest Sha256Of(std::string_view bytes);

}  // namespace setup
