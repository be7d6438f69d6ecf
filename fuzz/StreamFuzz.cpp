// Any bytes from a server, in pieces of any size: the client's reader takes whole messages or
// gives up for good, and how the bytes were split never changes what it takes.
#include "fuzz/Fuzz.h"
#include "telvoria/TelvoriaNet.h"

#include <memory>

static std::string Read(const uint8_t* data, size_t size, size_t piece) {
    telvo::net::StreamReader reader;
    auto greeting = std::make_unique<telvo::net::Greeting>();
    auto frame = std::make_unique<telvo::net::StreamFrame>();
    std::string taken;
    using Kind = telvo::net::StreamReader::Kind;
    for (size_t at = 0; at < size; at += piece) {
        if (!reader.Feed(data + at, std::min(piece, size - at))) {
            return taken + "broken";
        }
        for (Kind k; (k = reader.Next(*greeting, *frame)) != Kind::None;) {
            if (k == Kind::Greeting) {
                taken +=
                    "greeting " + std::to_string(greeting->divider) + greeting->name[29] + "\n";
            } else if (k == Kind::Frame) {
                taken += "frame " + std::to_string(frame->sequence) + "\n";
            } else {
                taken += "answer " + std::to_string(reader.LastAnswer().code) + " " +
                         std::to_string(reader.LastAnswer().result) + "\n";
            }
        }
    }
    return reader.Feed(data, 0) ? taken : taken + "broken";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    telvo::fuzz::Require(size == 0 || Read(data + 1, size - 1, size) ==
                                          Read(data + 1, size - 1, 1 + data[0] % 97));
    return 0;
}
