#include <gtest/gtest.h>

#include <cairo.h>

#include "framework/resource_file.h"
#include "framework/scratch_folder.h"
#include "gui/epi_picture.h"
#include "gui/panel_resource.h"
#include "panel_test_support.h"

namespace {

using testsupport::Bytes;

Bytes pngOf(int32_t width, int32_t height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  Bytes png = testsupport::pngBytes(image);
  cairo_surface_destroy(image);
  return png;
}

// The application's file with pictures 10 and 11, the update file with a new picture 10.
TEST(WindowPicture, TheUpdateFilesPictureWinsAndAMissingOneFailsCleanly) {
  testsupport::ScratchFolder folder;
  const std::string main = folder.path("ValvoramaLive.xrs");
  const std::string update = folder.path("ValvoramaUpdate.xrs");
  framework::ResourceFile file;
  ASSERT_TRUE(file.open(main));
  ASSERT_TRUE(file.write(gui::kPictureType, gui::kMainPictureId, pngOf(40, 30)));
  ASSERT_TRUE(file.write(gui::kPictureType, 11, pngOf(8, 8)));
  ASSERT_TRUE(file.write(gui::kPictureType, 12, Bytes{0x89, 'P', 'N', 'G', 0}));
  ASSERT_TRUE(file.open(main, update));
  ASSERT_TRUE(file.write(gui::kPictureType, gui::kMainPictureId, pngOf(64, 48)));

  ASSERT_TRUE(file.open(main, update));
  EXPECT_EQ(gui::pictureSize(file, gui::kMainPictureId), (gui::PictureSize{64, 48}));
  EXPECT_EQ(gui::pictureSize(file, 11), (gui::PictureSize{8, 8}));
  EXPECT_EQ(gui::loadPicture(file, 12), nullptr) << "bytes that are no PNG";
  EXPECT_EQ(gui::loadPicture(file, 13), nullptr) << "no such picture";
  EXPECT_EQ(gui::pictureSize(file, 13), std::nullopt);

  ASSERT_TRUE(file.open(main));
  EXPECT_EQ(gui::pictureSize(file, gui::kMainPictureId), (gui::PictureSize{40, 30}));
}

}  // namespace
