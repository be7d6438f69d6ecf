#pragma once

// Reading a BVH file: the whole motion first, then the figure judged on it, then every frame
// posed.

#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhFigure.h"
#include "telvoria/formats/BvhParse.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::bvh {

// The whole file in memory; false with a reason for a file that cannot be read.
bool ReadWhole(const char* path, std::unique_ptr<char[]>& text, std::size_t& size,
               std::string& why);

// The header and every frame's channel values (FrameCount rows of ChannelCount) and, when
// asked, the line each frame stood on; false, with the problem set, when the file does not hold
// them.
bool ReadMotion(Reader& reader, std::unique_ptr<float[]>& values, std::vector<int>* lines);

// Which file joint each node came from, as the tools show it.
files::BvhSource SourceOf(const Figure& figure);

// GyroReadBVH on text already in memory.
int ReadText(std::string_view text, Skeleton* skeleton);

} // namespace telvo::bvh
