#include "framework/four_cc.h"

#include <gtest/gtest.h>

namespace {

TEST(FourCC, PacksBigEndianAndNamesItBack) {
  EXPECT_EQ(framework::fourCC("prog"), 0x70726F67u);
  EXPECT_EQ(framework::fourCC("TEXT"), 0x54455854u);
  EXPECT_EQ(framework::fourCCName(framework::fourCC("Ecnt")), "Ecnt");
  // A damaged tag stays printable.
  EXPECT_EQ(framework::fourCCName(0x41000A42u), "A\\x00\\x0AB");
}

}  // namespace
