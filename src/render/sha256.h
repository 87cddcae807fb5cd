// SHA-256 without Qt, so that programs built from the core alone (glimra-digest,
// cross-built for other processors) can print the same picture digests as the
// tests that hash with Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace glimra {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    // Bytes are taken in any pieces; the digest depends on their sequence only.
    void add(const void* data, std::size_t size);
    // The digest of everything added; the object starts afresh afterwards.
    Digest finish();

    static std::string hex(const Digest& digest);

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_ = initialState();
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;

    static constexpr std::array<std::uint32_t, 8> initialState()
    {
        return {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    }
};

}  // namespace glimra
