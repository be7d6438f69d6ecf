// Any bytes from a client, in pieces of any size: the reader takes whole commands or gives up
// for good, and how the bytes were split never changes what it takes.
#include "fuzz/Fuzz.h"
#include "telvoria/net/Wire.h"

using telvo::fuzz::Require;

static std::string Read(const uint8_t* data, size_t size, size_t piece) {
    telvo::net::CommandReader reader;
    std::string taken;
    auto take = [&](const telvo::net::CommandReader::Command& c) {
        Require(c.argument.size() <= telvo::net::MaxCommandLength - 4);
        taken += std::to_string(c.code) + ":" + std::string(c.argument) + "\n";
    };
    for (size_t at = 0; at < size; at += piece) {
        if (!reader.Feed(data + at, std::min(piece, size - at), take)) {
            return taken + "broken";
        }
    }
    return taken;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Require(size == 0 ||
            Read(data + 1, size - 1, size) == Read(data + 1, size - 1, 1 + data[0] % 7));
    return 0;
}
