// Bitmaps through the bitmap suite: decoding, scaling, icons, allocation counting.
#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include "core/host.h"
#include "interface/host_interface.h"
#include "core/text.h"

namespace host {
namespace {

const std::string kImages = CORVANE_TEST_DATA "/images";

// Channel c of pixel (x, y) of the test picture gradient_40x36.png.
int Expected(int x, int y, int c) {
  switch (c) {
    case 0:
      return 4 * x;
    case 1:
      return 5 * y;
    case 2:
      return 100 + ((x + y) % 2) * 50;
    default:
      return x == 39 ? 128 : 255;
  }
}

class BitmapTest : public ::testing::Test {
 protected:
  void SetUp() override { host = std::make_unique<Host>(); }
  void TearDown() override { host.reset(); }
  /// A new Host in place of the old one: it starts from clean state.
  void NewHost() {
    host.reset();
    host = std::make_unique<Host>();
  }

  std::unique_ptr<Host> host;

  int32_t Init(C4DBitmap* bmp, const std::string& path) {
    C4DFilename* f = NewFilename(path);
    bool movie = true;
    int32_t result = suite->BitmapInit(bmp, f, -1, &movie);
    EXPECT_FALSE(movie);
    ReleaseFilename(f);
    return result;
  }

  bool RegisterIcon(int32_t id, const std::string& path, int32_t x, int32_t y, int32_t w, int32_t h) {
    C4DFilename* f = NewFilename(path);
    bool ok = suite->RegisterIcon(id, f, x, y, w, h, 0);
    ReleaseFilename(f);
    return ok;
  }

  const C4DBitmapSuite1* suite = BitmapSuite1();
};

TEST_F(BitmapTest, DecodesPngAndRefusesBrokenFiles) {
  int64_t live = LiveBitmapCount();
  C4DBitmap* bmp = suite->BitmapAlloc();
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(LiveBitmapCount(), live + 1);
  EXPECT_EQ(suite->BitmapGetWidth(bmp), 0);

  ASSERT_EQ(Init(bmp, kImages + "/gradient_40x36.png"), C4D_IMAGERESULT_OK);
  EXPECT_EQ(suite->BitmapGetWidth(bmp), 40);
  EXPECT_EQ(suite->BitmapGetHeight(bmp), 36);
  const Image& img = BitmapImage(bmp);
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {7, 35}, {39, 35}}) {
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(img.Pixel(x, y)[c], Expected(x, y, c)) << x << "," << y << " c" << c;
  }

  // Failures leave the bitmap's previous picture in place
  EXPECT_EQ(Init(bmp, kImages + "/missing.png"), C4D_IMAGERESULT_NOTEXISTING);
  EXPECT_EQ(Init(bmp, kImages), C4D_IMAGERESULT_NOTEXISTING);  // a folder
  for (const char* broken : {"truncated.png", "corrupt_header.png", "corrupt_data.png", "not_an_image.png"}) {
    EXPECT_EQ(Init(bmp, kImages + "/" + broken), C4D_IMAGERESULT_WRONGTYPE) << broken;
  }
  EXPECT_EQ(suite->BitmapGetWidth(bmp), 40);
  EXPECT_EQ(suite->BitmapInit(bmp, nullptr, 0, nullptr), C4D_IMAGERESULT_NOTEXISTING);
  EXPECT_EQ(suite->BitmapInit(nullptr, nullptr, 0, nullptr), C4D_IMAGERESULT_WRONGTYPE);

  suite->BitmapFree(bmp);
  suite->BitmapFree(nullptr);
  EXPECT_EQ(LiveBitmapCount(), live);
}

TEST_F(BitmapTest, ReadsPngOnlyAndSurvivesAnEmptyFirstDataChunk) {
  Image img;
  // Found by fuzzing: a PNG whose first IDAT chunk is empty.
  const int32_t result = DecodeImageFile(kImages + "/empty_first_idat.png", &img);
  EXPECT_TRUE(result == C4D_IMAGERESULT_OK || result == C4D_IMAGERESULT_WRONGTYPE) << result;
  // Another format stb could read is refused, whatever the file is called.
  EXPECT_EQ(DecodeImageFile(kImages + "/portable_pixmap.png", &img), C4D_IMAGERESULT_WRONGTYPE);
}

TEST_F(BitmapTest, AllocationFailureCanBeInjected) {
  FailNextBitmapAlloc(2);
  EXPECT_EQ(suite->BitmapAlloc(), nullptr);
  EXPECT_EQ(suite->BitmapAlloc(), nullptr);
  C4DBitmap* bmp = suite->BitmapAlloc();
  EXPECT_NE(bmp, nullptr);
  suite->BitmapFree(bmp);
}

TEST_F(BitmapTest, ScalingNearestBoxBilinearAndIntensity) {
  Image src;
  ASSERT_EQ(DecodeImageFile(kImages + "/gradient_40x36.png", &src), C4D_IMAGERESULT_OK);

  Image same = Image::Blank(40, 36);
  ScaleImage(src, &same, 256, true);
  EXPECT_EQ(same.rgba, src.rgba);

  Image nearest = Image::Blank(10, 9);
  ScaleImage(src, &nearest, 256, false);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 10; ++x) {
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(nearest.Pixel(x, y)[c], Expected(4 * x + 2, 4 * y + 2, c)) << x << "," << y;
    }
  }

  // Box filter when shrinking: each pixel averages its 2 x 2 source block
  Image half = Image::Blank(20, 18);
  ScaleImage(src, &half, 256, true);
  for (auto [x, y] : {std::pair{0, 0}, {5, 7}, {18, 17}}) {
    for (int c = 0; c < 3; ++c) {
      double avg = (Expected(2 * x, 2 * y, c) + Expected(2 * x + 1, 2 * y, c) +
                    Expected(2 * x, 2 * y + 1, c) + Expected(2 * x + 1, 2 * y + 1, c)) /
                   4.0;
      EXPECT_NEAR(half.Pixel(x, y)[c], avg, 1.0) << x << "," << y << " c" << c;
    }
  }

  // Bilinear when growing: 0 and 200 become 0, 50, 150, 200
  Image two = Image::Blank(2, 1);
  two.rgba = {0, 0, 0, 255, 200, 200, 200, 255};
  Image four = Image::Blank(4, 1);
  ScaleImage(two, &four, 256, true);
  int expected[] = {0, 50, 150, 200};
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(four.Pixel(x, 0)[0], expected[x], 1.0) << x;

  // Intensity scales colour, keeps alpha
  ScaleImage(two, &four, 128, false);
  EXPECT_EQ(four.Pixel(3, 0)[0], 100);
  EXPECT_EQ(four.Pixel(3, 0)[3], 255);

  // Empty pictures and null handles change nothing
  Image empty;
  ScaleImage(empty, &four, 256, true);
  EXPECT_EQ(four.Pixel(3, 0)[0], 100);
  suite->BitmapScaleIt(nullptr, nullptr, 256, true, false);
}

TEST_F(BitmapTest, IconsCutClampedRegions) {
  const std::string file = kImages + "/gradient_40x36.png";
  ASSERT_TRUE(RegisterIcon(1057875, file, 0, 0, 32, 32));
  ASSERT_TRUE(RegisterIcon(1057876, file, 30, 20, 16, 16));  // reaches past the right and bottom edges
  EXPECT_FALSE(RegisterIcon(1057876, file, 0, 0, 8, 8));     // ID taken
  EXPECT_FALSE(RegisterIcon(7, kImages + "/missing.png", 0, 0, 8, 8));
  EXPECT_FALSE(RegisterIcon(8, kImages + "/truncated.png", 0, 0, 8, 8));
  EXPECT_FALSE(RegisterIcon(9, file, 0, 0, 0, 8));
  EXPECT_FALSE(suite->RegisterIcon(10, nullptr, 0, 0, 8, 8, 0));

  C4DIconData icon{};
  ASSERT_TRUE(suite->GetIcon(1057875, &icon));
  ASSERT_NE(icon.bmp, nullptr);
  EXPECT_EQ(suite->BitmapGetWidth(icon.bmp), 32);
  EXPECT_EQ(suite->BitmapGetHeight(icon.bmp), 32);
  EXPECT_EQ(icon.x, 0);
  EXPECT_EQ(icon.w, 32);
  EXPECT_EQ(icon.h, 32);
  EXPECT_FALSE(suite->GetIcon(7, &icon));
  EXPECT_FALSE(suite->GetIcon(1057875, nullptr));

  Image pixels;
  ASSERT_TRUE(IconPixels(1057875, &pixels));
  for (int c = 0; c < 4; ++c) EXPECT_EQ(pixels.Pixel(31, 31)[c], Expected(31, 31, c));
  ASSERT_TRUE(IconPixels(1057876, &pixels));
  EXPECT_EQ(pixels.width, 16);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(pixels.Pixel(9, 15)[c], Expected(39, 35, c));
  EXPECT_EQ(pixels.Pixel(10, 0)[3], 0);  // beyond the image: transparent
  EXPECT_EQ(pixels.Pixel(0, 15)[3], 255);

  std::vector<IconInfo> list = ListIcons();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].id, 1057876);
  EXPECT_EQ(list[1].x, 30);
  EXPECT_EQ(list[1].file, file);

  NewHost();  // the icons went with the old Host
  EXPECT_TRUE(ListIcons().empty());
}

}  // namespace
}  // namespace host
