// A refused port names the group to join only where joining it would help.
#include <gtest/gtest.h>

#include "link/linux/permission_hint.h"

namespace tarvex {
namespace {

TEST(PermissionHint, NamesTheGroupOnlyWhereJoiningItHelps) {
  const struct {
    bool groupCanUse;
    bool inGroup;
    const char* says;
  } table[] = {
      {true, false, "permission denied: add your user to the uucp group, then log in again"},
      {true, true, "permission denied: ask your administrator for access to the port"},
      {false, false, "permission denied: ask your administrator for access to the port"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(posix::PermissionHintFor(row.groupCanUse, row.inGroup, "uucp"), row.says)
        << row.groupCanUse << row.inGroup;
  }
}

}  // namespace
}  // namespace tarvex
