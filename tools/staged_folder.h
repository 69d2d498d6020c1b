// A folder whose files appear all together or not at all: they are written into a new hidden
// folder beside the target, and only Commit() moves them into place. Without a commit the staging
// folder is removed with everything in it, so a failure part-way leaves nothing half-written.
#pragma once

#include <filesystem>
#include <string>

namespace tarvex {

class StagedFolder {
 public:
  // Creates the staging folder (and the target's parent folders when missing).
  explicit StagedFolder(const std::filesystem::path& target);
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // Where to write; nothing when error() says the staging folder could not be made.
  const std::filesystem::path& Staging() const { return staging_; }
  // The folder written into, symbolic links followed.
  const std::filesystem::path& Target() const { return target_; }
  // Renames the whole staging folder to a missing target; into an existing one, moves file by
  // file with `last` last, so that its presence tells the others are all there. False with
  // error() set when a step failed.
  bool Commit(const std::filesystem::path& last);
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path staging_;
  std::string error_;
  bool committed_ = false;
};

}  // namespace tarvex
