// Images broken in one way each, with the verdict the loader owes them: the loader's tests check
// the verdicts, the fuzzing corpus starts from the same files.
#pragma once

#include <string>
#include <vector>

#include "image/image_loader.h"
#include "tests/support/image_builder.h"

namespace tarvex::test {

struct BrokenImage {
  std::string label;  // "WrongCrc", ...: a test name and a file name
  ImagePlan plan;
  ImageError reason;
  std::string messageHas;  // a part of the rejection's sentence
};

// SimpleImagePlan() spoilt in each way the loader tells apart.
const std::vector<BrokenImage>& BrokenImages();

}  // namespace tarvex::test
