#include "link/linux/permission_hint.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tarvex::posix {

namespace {

bool InGroup(gid_t group) {
  if (getegid() == group) {
    return true;
  }
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  if (count <= 0 || getgroups(count, groups.data()) < 0) {
    return false;
  }
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

std::string GroupName(gid_t group) {
  // getgrgid_r needs a buffer whose size the system only suggests.
  std::vector<char> buffer(4096);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::to_string(group);
  }
  return found->gr_name;
}

}  // namespace

std::string PermissionHintFor(bool groupCanUse, bool inGroup, const std::string& groupName) {
  if (groupCanUse && !inGroup) {
    return "permission denied: add your user to the " + groupName + " group, then log in again";
  }
  return "permission denied: ask your administrator for access to the port";
}

std::string PermissionHint(const std::string& device) {
  struct stat info {};
  if (stat(device.c_str(), &info) != 0) {
    return PermissionHintFor(false, false, {});
  }
  const bool groupCanUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  return PermissionHintFor(groupCanUse, InGroup(info.st_gid), GroupName(info.st_gid));
}

}  // namespace tarvex::posix
