#include "tests/support/temp_dir.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tarvex::test {

namespace {

constexpr int ATTEMPTS = 100;

}  // namespace

// create_directory() fails on a name that exists, so a name is ours once it returns true;
// the same on every platform, unlike mkdtemp().
TempDir::TempDir() {
  const auto base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
    const auto candidate = base / ("tarvex-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temp dir under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarvex::test
