#include "tools/staged_folder.h"

#include <system_error>
#include <vector>

#include "tools/atomic_file.h"

namespace tarvex {

namespace {

namespace fs = std::filesystem;

// Absolute, links followed, without a trailing separator: "out/" and "." have a name to stage
// beside.
fs::path Resolved(const fs::path& target) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::absolute(target, error), error);
  if (error) {
    resolved = fs::absolute(target, error).lexically_normal();
  }
  return resolved.has_filename() ? resolved : resolved.parent_path();
}

}  // namespace

StagedFolder::StagedFolder(const fs::path& target)
    : target_(Resolved(target)), staging_(TemporaryBeside(target_)) {
  std::error_code error;
  fs::create_directories(target_.parent_path(), error);
  if (!error) {
    fs::create_directory(staging_, error);
  }
  if (error) {
    error_ = "cannot create a folder beside it: " + error.message();
    staging_.clear();
  }
}

StagedFolder::~StagedFolder() {
  if (!committed_ && !staging_.empty()) {
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
  }
}

bool StagedFolder::Commit(const fs::path& last) {
  if (!error_.empty()) {
    return false;
  }
  std::error_code error;
  if (!fs::exists(fs::symlink_status(target_, error))) {
    fs::rename(staging_, target_, error);
    committed_ = !error;
  } else {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(staging_, error)) {
      if (entry.path().filename() != last) {
        names.push_back(entry.path().filename());
      }
    }
    names.push_back(last);
    for (const fs::path& name : names) {
      if (!error) {
        fs::rename(staging_ / name, target_ / name, error);
      }
    }
  }
  if (error) {
    error_ = "cannot move the files into place: " + error.message();
    return false;
  }
  return true;
}

}  // namespace tarvex
