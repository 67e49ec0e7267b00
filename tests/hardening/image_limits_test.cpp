// Image headers that promise more pixels than an icon or texture can sensibly have are
// refused before decoding. Regression: a 560 KB PNG of 12000 x 12000 zero pixels made the
// decoder allocate over 1 GB and spend seconds before the host saw the picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bitmap/bitmap.h"
#include "module_fixture.h"

namespace hardening {
namespace {

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xffffffffu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string BigEndian(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  return BigEndian(uint32_t(data.size())) + type + data + BigEndian(Crc32(type + data));
}

/// A PNG signature, an RGBA header of w x h and the end chunk: no pixel data at all.
std::string HeaderOnlyPng(uint32_t w, uint32_t h) {
  std::string ihdr = BigEndian(w) + BigEndian(h) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IEND", "");
}

TEST(ImageLimits, HugeHeadersAreRefusedBeforeDecoding) {
  host::test::TempFolder folder;
  struct Case {
    uint32_t w, h;
    int32_t expected;
    const char* why;
  } cases[] = {
      {12000, 12000, C4D_IMAGERESULT_OUTOFMEMORY, "image too large: 12000 x 12000 pixels"},
      {100000, 2, C4D_IMAGERESULT_WRONGTYPE, "Very large image"},  // wider than any allowed dimension
      {64, 64, C4D_IMAGERESULT_WRONGTYPE, "cannot decode image"},  // sane size, missing data
  };
  for (const Case& c : cases) {
    const std::string rel = "h" + std::to_string(c.w) + "x" + std::to_string(c.h) + ".png";
    folder.Write(rel, HeaderOnlyPng(c.w, c.h));
    host::Image image;
    std::string message;
    EXPECT_EQ(c.expected, host::DecodeImageFile(folder.Join(rel), &image, &message)) << message;
    EXPECT_NE(std::string::npos, message.find(c.why)) << message;
    EXPECT_TRUE(image.Empty());
  }
}

}  // namespace
}  // namespace hardening
