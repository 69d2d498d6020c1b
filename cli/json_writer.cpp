#include "cli/json_writer.h"

#include <cassert>
#include <cstdio>
#include <ostream>

namespace tarvex::cli {

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      text += c;
    } else {  // U+0080 .. U+00FF take two bytes
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

JsonWriter& JsonWriter::BeginObject() {
  Open('{');
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  Close('}');
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Open('[');
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  Close(']');
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  Quoted(name);
  out_ << ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8) {
  BeforeValue();
  Quoted(utf8);
  return *this;
}

JsonWriter& JsonWriter::Latin1String(std::string_view bytes) {
  return String(Latin1ToUtf8(bytes));
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::Int(std::int64_t value) {
  BeforeValue();
  out_ << value;
  return *this;
}

JsonWriter& JsonWriter::UInt(std::uint64_t value) {
  BeforeValue();
  out_ << value;
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
  return *this;
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) {
      out_ << ',';
    }
    first_.back() = false;
  }
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ << bracket;
  first_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  assert(!first_.empty() && !afterKey_);
  first_.pop_back();
  out_ << bracket;
}

void JsonWriter::Quoted(std::string_view utf8) {
  out_ << '"';
  for (char c : utf8) {
    switch (c) {
      case '"':
        out_ << "\\\"";
        break;
      case '\\':
        out_ << "\\\\";
        break;
      case '\n':
        out_ << "\\n";
        break;
      case '\r':
        out_ << "\\r";
        break;
      case '\t':
        out_ << "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out_ << escaped;
        } else {
          out_ << c;
        }
    }
  }
  out_ << '"';
}

}  // namespace tarvex::cli
