#pragma once
// The service's replies as the engine's suites script them.

#include <string>
#include <vector>

#include "engine_fixture.h"
#include "net/message_cipher.h"

namespace engine_testing {

// A key file list reply, plain.
inline std::string ListReply(const std::string& text) {
    return "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\nX-QVN-CRUNCHYFROG: 0,0,0\r\n"
           "Content-Length: " +
           std::to_string(text.size()) + "\r\n\r\n" + text;
}

// A key file list reply enciphered under `seed`, its text ended by a zero
// byte unless `zeroEnd` is false.
inline std::string EncipheredListReply(const std::string& text, std::int64_t seed,
                                       bool zeroEnd = true) {
    std::vector<std::uint8_t> plain(text.begin(), text.end());
    if (zeroEnd) {
        plain.push_back(0);
    }
    std::vector<std::uint8_t> out(net::EncipheredCapacity(plain.size()));
    out.resize(net::EncipherWithIndex(TestKeyTable(), plain, seed, 1, out));
    return "HTTP/1.1 200 OK\r\nX-QVN-CRUNCHYFROG: 1,0,0\r\nContent-Length: " +
           std::to_string(out.size()) + "\r\n\r\n" + std::string(out.begin(), out.end());
}

// A whole plain file, announced as `announced` bytes (the body's size
// unless given).
inline std::string FileReply(const std::string& body, std::size_t announced) {
    return "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\nX-QVN-Fang: " +
           std::to_string(announced) + ",0,0\r\nContent-Length: " + std::to_string(announced) +
           "\r\n\r\n" + body;
}
inline std::string FileReply(const std::string& body) {
    return FileReply(body, body.size());
}

// One record of a list: the key's top folder, then `name`; no date.
inline std::string Record(int id, const std::string& name) {
    return std::to_string(id) + "\tTop\\" + name + "\t1\t \t0\t0\t";
}

}  // namespace engine_testing
