# Libraries from Debian packages (scripts/setup installs them). A cross build cannot use the
# build machine's compiled libraries, so it takes the header-only form of each.
if(CMAKE_CROSSCOMPILING)
  tarvex_host_headers(CLI11::CLI11 CLI)
  tarvex_host_headers(nlohmann_json::nlohmann_json nlohmann)
  tarvex_host_headers(fmt::fmt fmt)
  set_target_properties(fmt::fmt PROPERTIES INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3.10 CONFIG REQUIRED)
  find_package(fmt CONFIG REQUIRED)
endif()
