// Throughput of the digest and of file deciphering, each next to OpenSSL on
// the same data in the same run. File deciphering goes the way a downloaded
// file is done: in place, in 2048-byte units, through one StreamDecipher.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

#include "net/key_table.h"
#include "net/md5.h"
#include "net/message_cipher.h"

namespace {

constexpr std::size_t kDataSize = std::size_t{64} << 20;
constexpr std::size_t kUnit = 2048;
constexpr int kSeed = 321;

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; i += 4) {
        const std::uint32_t word = rng();
        for (std::size_t k = 0; k < 4 && i + k < count; ++k) {
            bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
    }
    return bytes;
}

const Bytes& Data() {
    static const Bytes data = RandomBytes(kDataSize, 1);
    return data;
}

// Arbitrary contents standing in for the deployment's table.
net::KeyTable BenchTable() {
    const Bytes bytes = RandomBytes(net::KeyTable::kSize, 2);
    return net::KeyTable(std::span<const std::uint8_t, net::KeyTable::kSize>(bytes));
}

void SetThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kDataSize));
}

void Md5Ours(benchmark::State& state) {
    const Bytes& data = Data();
    for (auto _ : state) {
        net::Md5Digest digest = net::ComputeMd5(data);
        benchmark::DoNotOptimize(digest);
    }
    SetThroughput(state);
}

void Md5OpenSsl(benchmark::State& state) {
    const Bytes& data = Data();
    for (auto _ : state) {
        unsigned char digest[16];
        unsigned int length = 0;
        if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr) != 1) {
            state.SkipWithError("EVP_Digest failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    SetThroughput(state);
}

void BlowfishDecipherOurs(benchmark::State& state) {
    const net::KeyTable table = BenchTable();
    const net::StreamDecipher stream(table, kSeed);
    Bytes file = Data();
    for (auto _ : state) {
        for (std::size_t at = 0; at < file.size(); at += kUnit) {
            stream.Decipher(std::span(file).subspan(at, kUnit));
        }
        benchmark::ClobberMemory();
    }
    SetThroughput(state);
}

void BlowfishDecipherOpenSsl(benchmark::State& state) {
    const net::KeyTable table = BenchTable();
    const net::KeyTable::Window key = table.WindowAt(kSeed % net::kStreamIndexCount);
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    Bytes file = Data();
    for (auto _ : state) {
        for (std::size_t at = 0; at < file.size(); at += kUnit) {
            std::uint8_t* unit = file.data() + at;
            for (std::size_t block = 0; block < kUnit; block += 8) {
                BF_ecb_encrypt(unit + block, unit + block, &schedule, BF_DECRYPT);
            }
        }
        benchmark::ClobberMemory();
    }
    SetThroughput(state);
}

BENCHMARK(Md5Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(Md5OpenSsl)->Unit(benchmark::kMillisecond);
BENCHMARK(BlowfishDecipherOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BlowfishDecipherOpenSsl)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
