#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "plugin/parameter_descriptor.h"
#include "plugin_test_support.h"

namespace {

using plugintest::makeProcessor;

TEST(SettingsText, ExportThenImportRestoresAllValuesAndOlderFilesRead) {
  plugintest::TempDir dir;
  const std::string path = dir.path("current.txt");
  auto p = makeProcessor();
  // Distinct values everywhere, the rows that share a name included.
  for (int i = 0; i < 22; ++i)
    p->setParameterPlain(i, float((i * 5 + 3) % (plugin::kParameterDescriptors[i].maximum + 1)));
  for (const auto& [row, value] : {std::pair{2, 2.0f}, {19, 1.0f}, {12, 90.0f}, {20, 3.0f}})
    p->setParameterPlain(row, value);
  p->setParameterPlain(18, 77.8f);  // written truncated
  ASSERT_TRUE(p->saveSettings(path));

  const auto bytes = plugintest::readBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_TRUE(
      text.starts_with("Content:\"settings for ValvoramaLive\"\r\n"
                       "PlugVersion:\"1.2.1 - 13/11/2003\"\r\n"
                       "SettingsVersion:\"1.0.1\"\r\n"
                       "Gate Level:3\r\n"))
      << text;
  EXPECT_NE(text.find("\r\nVolume:77\r\nCabinet:1\r\nAmp Model:3\r\n"), std::string::npos);

  auto q = makeProcessor(true);
  ASSERT_TRUE(q->loadSettings(path));
  for (int i = 0; i < 22; ++i)
    EXPECT_EQ(q->parameterValue(i), i == 18 ? 77.0f : p->parameterValue(i)) << i;
  EXPECT_TRUE(q->parameters()[19].isChanged());
  EXPECT_EQ(q->rack()->productParameter(62), 3) << "amp model";

  // Older files: keys by name alone, in any case, some missing.
  std::ofstream(path) << "Wah Mode:2\nvolume:50";
  ASSERT_TRUE(q->loadSettings(path));
  EXPECT_EQ(q->parameterValue(19), 2.0f) << "falls back to the shared name";
  EXPECT_EQ(q->parameterValue(18), 50.0f) << "keys match without case";
  EXPECT_EQ(q->parameterValue(0), 0.0f) << "a missing key reads as 0";

  auto r = makeProcessor();
  EXPECT_FALSE(r->loadSettings(dir.path("missing.txt")));
  EXPECT_FALSE(r->anyParameterChanged());
  EXPECT_FALSE(r->saveSettings(dir.path("no such folder/x.txt")));
}

}  // namespace
