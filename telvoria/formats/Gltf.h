#pragma once

// Binary glTF 2.0 (.glb) of a take, for web pages, game engines and Blender: the skeleton as a
// node hierarchy, the view's solid bodies as a mesh skinned to it, the recording as one
// animation. tinygltf holds and serializes the document; the binary chunk, nearly all of it
// animation, is streamed from the recording instead of being held in memory (tinygltf's own
// saver wants it whole, and copies it once more). docs/formats.md, "glTF files".

#include "geometry/Vector.h"
#include "suitlib/SuitLib.h"

#include <tiny_gltf.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace telvo::gltf {

constexpr double MetresPerInch = 0.0254;

// Beyond this the times, single-precision seconds, could stop growing from frame to frame.
constexpr uint32_t MaxFrames = uint32_t{1} << 23;

// Our axes (inches, Z up, the figure facing -Y, X its left) turned into glTF's (metres, Y up,
// the figure facing +Z, X still its left): (x, y, z) becomes (x, z, -y).
struct Point {
    float x, y, z;
};
Point ToGltf(const Vector& inches);

struct Document {
    // Everything but buffer 0, which is the binary chunk of binaryLength bytes.
    tinygltf::Model model;
    uint64_t binaryLength = 0;
    // The chunk's first bytes: the mesh and the inverse bind matrices. The animation follows.
    std::string fixedBytes;
};

// The document of a take; none, with the reason in why, when it cannot be written.
std::optional<Document> Describe(const Skeleton& skeleton, const ActorData& actor,
                                 std::string& why);

// The JSON chunk: the document as tinygltf serializes it, with buffer 0, padded with blanks to
// a multiple of four bytes.
std::string JsonChunk(const Document& document);

// The binary chunk, handed to write piece by piece with each piece's place in the chunk, not
// in order (the animation is solved a block of frames at a time for all its tracks); false as
// soon as write fails.
using Sink = std::function<bool(uint64_t offset, const void* data, std::size_t size)>;
bool StreamBinary(const Document& document, const Skeleton& skeleton, const Sink& write);

} // namespace telvo::gltf
