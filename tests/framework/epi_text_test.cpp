#include "framework/epi_text.h"

#include <gtest/gtest.h>

#include "framework/four_cc.h"
#include "framework/resource_file.h"
#include "framework/safe_file.h"
#include "scratch_folder.h"

namespace {

epiTextSettings settingsOf(const char* text) {
  epiTextSettings settings;
  settings.assign(text);
  return settings;
}

std::string getString(const epiTextSettings& settings, const char* key) {
  char out[256];
  return settings.getString(key, out, sizeof out, "<default>") ? out : std::string("!") + out;
}

TEST(EpiTextSettings, WorkedExamples) {
  EXPECT_TRUE(epiText("AudioTechnology").equalsNoCase("audioTECHNOLOGY"));
  EXPECT_FALSE(epiText("@[").equalsNoCase("`{"));  // the case bit, but not letters
  EXPECT_EQ(epiText(" \t-42x").toLong(), -42);
  EXPECT_EQ(epiText("99999999999").toLong(), INT32_MAX);
  EXPECT_EQ(epiText("-99999999999").toLong(), INT32_MIN);

  int32_t value = -1;
  EXPECT_TRUE(settingsOf("key:\"12\"").getLong("key", &value, 5));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(getString(settingsOf("key:12"), "key"), "12");
  EXPECT_FALSE(settingsOf("Key : 5").getLong("Key", &value, 5));
  EXPECT_EQ(value, 5);

  // Keys match without case and are written as given; other lines keep their bytes.
  auto settings = settingsOf("# comment\r\nkey:\"x\"\r\nother:1\r\n");
  EXPECT_FALSE(settings.modified());
  settings.setString("Key", "new");
  EXPECT_TRUE(settings.modified());
  EXPECT_STREQ(settings.c_str(), "# comment\r\nKey:\"new\"\r\nother:1\r\n");
  settings.setString("Gate Level", "#1 x.y");
  EXPECT_EQ(getString(settings, "gate level"), "#1 x.y");

  // LF-only and CR-only files read alike; the rewritten line and the break before it get CR LF.
  for (const std::string end : {"\n", "\r"}) {
    settings = settingsOf(("a:1" + end + "b:\"x y\"" + end + "c:3" + end).c_str());
    EXPECT_TRUE(settings.getLong("c", &value));
    EXPECT_EQ(value, 3);
    EXPECT_EQ(getString(settings, "b"), "x y");
    settings.setLong("b", 9);
    EXPECT_EQ(settings.c_str(), "a:1\r\nb:9\r\nc:3" + end);
  }

  // An empty text gives every default; the first setter makes a one-line text.
  settings = epiTextSettings();
  EXPECT_EQ(getString(settings, "Content"), "!<default>");
  char out[8] = "junk";
  EXPECT_FALSE(settings.getString("Content", out, sizeof out));
  EXPECT_STREQ(out, "");
  settings.setString("Content", "settings for ValvoramaLive");
  EXPECT_STREQ(settings.c_str(), "Content:\"settings for ValvoramaLive\"\r\n");
  // The copy is bounded by the caller's buffer.
  EXPECT_TRUE(settings.getString("content", out, sizeof out));
  EXPECT_STREQ(out, "setting");
}

TEST(EpiTextFile, FilesAndResources) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("VRLiveHardware.prf");
  epiTextSettings settings;
  settings.assign("unchanged");
  EXPECT_FALSE(settings.load(folder.path("missing.prf")));
  EXPECT_STREQ(settings.c_str(), "unchanged");
  ASSERT_TRUE(framework::writeFileAtomically(path, std::vector<uint8_t>{'a', ':', '1', 0, 'b'}));
  ASSERT_TRUE(settings.load(path));
  EXPECT_STREQ(settings.c_str(), "a:1");  // a NUL ends the text
  // The last line had no terminator: it is ended before the new key starts its own line.
  settings.setLong("b", 2);
  ASSERT_TRUE(settings.save(path));
  const auto saved = testsupport::readBytes(path);
  EXPECT_EQ(std::string(saved.begin(), saved.end()), "a:1\r\nb:2\r\n");

  const uint32_t kText = framework::fourCC("TEXT");
  framework::ResourceFile resources;
  ASSERT_TRUE(resources.open(folder.path("ValvoramaLive.xrs")));
  epiTextFile defaults;
  EXPECT_FALSE(defaults.loadResource(&resources, kText, 101));
  EXPECT_FALSE(defaults.loadResource(nullptr, kText, 101));  // no application file yet
  defaults.assign("Volume:80\r\n");
  ASSERT_TRUE(defaults.saveResource(&resources, kText, 101));
  framework::ResourceFile::setApplication(&resources);
  epiTextFile loaded;
  EXPECT_TRUE(loaded.loadResource(nullptr, kText, 101));
  framework::ResourceFile::setApplication(nullptr);
  EXPECT_STREQ(loaded.c_str(), "Volume:80\r\n");
}

}  // namespace
