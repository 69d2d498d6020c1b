// Writes the demo image examples/sample.zfr: a fixture that needs the wake-up, three segments
// of deterministic data. Usage: tarvex-make-sample OUTPUT
#include <cstdio>
#include <exception>

#include "tests/support/image_builder.h"

namespace {

tarvex::test::ImagePlan SamplePlan() {
  using tarvex::test::PseudoRandomBytes;
  return {tarvex::test::Model("VUN D7 DEMO"),
          {{0x00010000, PseudoRandomBytes(1500, 1)},
           {0x00020000, PseudoRandomBytes(10, 2)},
           {0x00030000, PseudoRandomBytes(3000, 3)}}};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvex-make-sample OUTPUT\n");
    return 2;
  }
  try {
    tarvex::test::WriteImage(argv[1], SamplePlan());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvex-make-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
