// A PNG file of an RGB picture, without a compression library: the image data goes into
// stored (uncompressed) deflate blocks, which every PNG reader takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flashwright::ui {

// `rgb` holds width * height pixels of three bytes, row by row from the top. False when the
// file cannot be written.
bool WritePngFile(const std::string& path, int width, int height,
                  const std::vector<std::uint8_t>& rgb);

// The file's bytes (for tests).
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace flashwright::ui
