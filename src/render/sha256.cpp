#include "render/sha256.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace glimra {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// Words are big-endian in the message and in the digest, whatever the processor.
std::uint32_t loadBig(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

}  // namespace

void Sha256::compress(const std::uint8_t* block)
{
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = loadBig(block + 4 * t);
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t S1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
        const std::uint32_t ch = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + S1 + ch + kRound[t] + w[t];
        const std::uint32_t S0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
        const std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = S0 + maj;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
}

void Sha256::add(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    totalBytes_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, pending_.size() - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < pending_.size())
            return;
        compress(pending_.data());
        pendingSize_ = 0;
    }
    for (; size >= 64; p += 64, size -= 64)
        compress(p);
    if (size > 0)
        std::memcpy(pending_.data(), p, size);
    pendingSize_ = size;
}

Sha256::Digest Sha256::finish()
{
    // A one bit, zeros up to 56 bytes into a block, then the length in bits.
    const std::uint64_t bits = totalBytes_ * 8;
    const std::uint8_t one = 0x80;
    add(&one, 1);
    const std::uint8_t zeros[64] = {};
    add(zeros, (pending_.size() + 56 - pendingSize_) % pending_.size());
    std::uint8_t length[8];
    for (int k = 0; k < 8; ++k)
        length[k] = std::uint8_t(bits >> (56 - 8 * k));
    add(length, 8);

    Digest digest;
    for (std::size_t k = 0; k < state_.size(); ++k)
        for (int b = 0; b < 4; ++b)
            digest[4 * k + std::size_t(b)] = std::uint8_t(state_[k] >> (24 - 8 * b));
    *this = Sha256();
    return digest;
}

std::string Sha256::hex(const Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace glimra
