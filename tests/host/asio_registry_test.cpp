#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "host_test_support.h"
#include "platform/asio_driver_list.h"
#include "platform/asio_registry.h"

namespace {

using platform::AsioClassId;
using platform::AsioDriver;
using platform::AsioDriverList;
using platform::AsioRegistry;

const std::string* valueAt(const AsioRegistry& registry, const char* key, const char* name) {
  const platform::AsioRegistryKey* found = registry.openKey(key);
  return found ? found->value(name) : nullptr;
}

TEST(AsioRegistry, ReadsKeysValuesAndDefaultValuesIgnoringLetterCase) {
  AsioRegistry registry;
  registry.read(
      "# comment\r\n"
      "ignored = before any key\n"
      "  [Software\\ASIO\\First]  \r\n"
      "description =  Two  words \n"
      "; another comment\n"
      "no equals sign here\n"
      "[software\\asio\\Second\n"  // unclosed: its values go nowhere
      "description = lost\n"
      "[ clsid \\ {a} \\ InprocServer32 ]\n"
      "@ = /lib/x.so\n"
      "= nameless\n");
  EXPECT_EQ(*valueAt(registry, "software\\asio\\first", "DESCRIPTION"), "Two  words");
  EXPECT_EQ(*valueAt(registry, "CLSID\\{A}\\inprocserver32", ""), "/lib/x.so");
  EXPECT_EQ(registry.openKey("software\\asio")->subkeyCount(), 1u);
  EXPECT_EQ(registry.openKey("software\\asio")->subkey(0).name(), "First");
  EXPECT_EQ(valueAt(registry, "", "ignored"), nullptr);
  EXPECT_EQ(registry.openKey("software\\asio\\second"), nullptr);

  // A later file adds keys and replaces values.
  registry.read("[software\\asio\\first]\ndescription=New\n[software\\asio\\third]\n");
  EXPECT_EQ(*valueAt(registry, "software\\asio\\first", "description"), "New");
  EXPECT_EQ(registry.openKey("software\\asio")->subkeyCount(), 2u);

  ::setenv(AsioRegistry::kFilesVariable, "/a.reg::/b.reg:", 1);
  EXPECT_EQ(AsioRegistry::standardFiles("/home/user.reg"),
            (std::vector<std::string>{"/a.reg", "/b.reg"}))
      << "the variable names the only files read";
  ::unsetenv(AsioRegistry::kFilesVariable);
  const auto files = AsioRegistry::standardFiles("/home/user.reg");
  ASSERT_GE(files.size(), 2u);
  EXPECT_EQ(files[files.size() - 2], AsioRegistry::kSystemFile);
  EXPECT_EQ(files.back(), "/home/user.reg");
}

TEST(AsioRegistry, ParsesClassIds) {
  AsioClassId id;
  for (const char* invalid :
       {"0123abcd-4567-89AB-cdef-0123456789aB", "{0123abcd-4567-89AB-cdef-0123456789a}",
        "{0123abcd-4567-89AB-cdef-0123456789aBC}", "{0123abcg-4567-89AB-cdef-0123456789aB}",
        "{0123abcd+4567-89AB-cdef-0123456789aB}", ""})
    EXPECT_FALSE(platform::parseClassId(invalid, id)) << invalid;
  ASSERT_TRUE(platform::parseClassId("{0123abcd-4567-89AB-cdef-0123456789aB}", id));
  EXPECT_EQ(id.data1, 0x0123abcdu);
  EXPECT_EQ(id.data2, 0x4567u);
  EXPECT_EQ(id.data3, 0x89abu);
  const uint8_t data4[8] = {0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab};
  EXPECT_EQ(std::memcmp(id.data4, data4, 8), 0);
  AsioClassId upper;
  ASSERT_TRUE(platform::parseClassId("{0123ABCD-4567-89AB-CDEF-0123456789AB}", upper));
  EXPECT_TRUE(platform::sameClassId(id, upper));
}

// Listed: drivers with a class id and an existing library; names cut to fit; requests checked.
TEST(AsioDriverList, ListsCutsNamesAndOpensOneInstance) {
  hosttest::AsioTestRegistry files;
  files.addDriver("Loop", std::string(300, 'x'));
  files.addDriver("NoLibrary", "Missing", files.path("missing.so"),
                  "{00000000-0000-0000-0000-00000000000A}");
  files.addDriver("BadId", "Bad", LOOPBACK_DRIVER_PATH, "{not-a-class-id}");
  files.addDriver("Plain", "");  // no description: the key's name
  files.addDriver("Other", "Wrong class", LOOPBACK_DRIVER_PATH,
                  "{00000000-0000-0000-0000-000000000001}");
  // A class key matched with other letter case.
  std::ofstream(files.path("drivers.reg"), std::ios::app)
      << "[software\\asio\\Lower]\nclsid = {4c6f6f70-6261-636b-0000-56616c766f72}\n";
  AsioDriverList list(AsioRegistry::loadStandard(""));
  ASSERT_EQ(list.count(), 4);
  char name[300];
  const std::string expected[] = {std::string(AsioDriverList::kMaxNameLength, 'x'), "Plain",
                                  "Wrong class", "Lower"};
  for (int32_t id = 0; id < 4; ++id) {
    ASSERT_EQ(list.getName(id, name, sizeof name), platform::kAsioOk);
    EXPECT_EQ(name, expected[id]);
  }
  char shortName[10];
  ASSERT_EQ(list.getName(0, shortName, sizeof shortName), platform::kAsioOk);
  EXPECT_STREQ(shortName, "xxxxxx...");

  AsioDriver* driver = nullptr;
  EXPECT_EQ(list.getName(4, name, sizeof name), AsioDriverList::kNotInList);
  EXPECT_EQ(list.getName(-1, name, sizeof name), AsioDriverList::kNotInList);
  EXPECT_EQ(list.getName(0, nullptr, 8), AsioDriverList::kMissingOutput);
  EXPECT_EQ(list.open(4, &driver), AsioDriverList::kNotInList);
  EXPECT_EQ(list.open(0, nullptr), AsioDriverList::kMissingOutput);
  EXPECT_EQ(list.open(2, &driver), AsioDriverList::kCannotCreate);
  ASSERT_EQ(list.open(0, &driver), platform::kAsioOk);
  ASSERT_NE(driver, nullptr);
  AsioDriver* again = nullptr;
  EXPECT_EQ(list.open(0, &again), AsioDriverList::kAlreadyOpen);
  EXPECT_EQ(list.close(0), platform::kAsioOk);
  EXPECT_EQ(list.open(0, &again), platform::kAsioOk);  // the list's destructor releases it
}

}  // namespace
