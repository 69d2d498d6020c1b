// Compact JSON written straight to a stream: one object per --json result or trace line.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::cli {

// Bytes read as ISO 8859-1 (what an 8-bit model name is taken to be), returned as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// Writes values in order; commas and nesting are handled here. Inside an object every value
// must follow a Key(). Nothing is buffered: the text appears as it is written.
class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);

  JsonWriter& String(std::string_view utf8);
  JsonWriter& Latin1String(std::string_view bytes);
  JsonWriter& Bool(bool value);
  JsonWriter& Int(std::int64_t value);
  JsonWriter& UInt(std::uint64_t value);
  JsonWriter& Null();

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void Quoted(std::string_view utf8);

  std::ostream& out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool afterKey_ = false;
};

}  // namespace tarvex::cli
