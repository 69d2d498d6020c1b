// What the window program takes on its command line: an image to open (`tarvex IMAGE`, also how
// the desktop's "Open with" hands one over) and, for the documentation, --screenshot FILE.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

struct WindowArguments {
  std::string image;       // empty: none
  std::string screenshot;  // empty: a normal run
};

// `arguments` without the program's name. The first argument that is no option names the image;
// "--" makes the next one the image whatever it looks like; other options are ignored.
WindowArguments ParseWindowArguments(const std::vector<std::string>& arguments);

}  // namespace tarvex
