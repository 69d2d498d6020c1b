// What to tell a user whom the system refused a port: joining the port's group helps only when
// that group may read and write it and the user is not in it yet.
#pragma once

#include <string>

namespace tarvex::posix {

// `groupCanUse`: the device's group has read and write permission.
std::string PermissionHintFor(bool groupCanUse, bool inGroup, const std::string& groupName);

// The hint for a device refused with EACCES, from its owner group and this process's groups.
std::string PermissionHint(const std::string& device);

}  // namespace tarvex::posix
