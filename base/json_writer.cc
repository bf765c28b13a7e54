#include "base/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kIndent = 3;

void AppendEscaped(std::string_view text, std::string* out) {
  out->push_back('"');
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const uint8_t byte = static_cast<uint8_t>(c);
    if (byte >= 0x80) {
      size_t invalid_length = 0;
      const size_t length = WellFormedUtf8Length(text.substr(i), &invalid_length);
      if (length == 0) {
        out->append("\xEF\xBF\xBD");
        i += invalid_length;
        continue;
      }
      const std::string_view sequence = text.substr(i, length);
      if (sequence == "\xE2\x80\xA8") {
        out->append("\\u2028");
      } else if (sequence == "\xE2\x80\xA9") {
        out->append("\\u2029");
      } else {
        out->append(sequence);
      }
      i += length;
      continue;
    }
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\b':
        out->append("\\b");
        break;
      case '\f':
        out->append("\\f");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      case '<':
        // Keeps the text inert when it ends up inside an HTML page.
        out->append("\\u003C");
        break;
      default:
        if (byte < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04X", byte);
          out->append(escape);
        } else {
          out->push_back(c);
        }
        break;
    }
    ++i;
  }
  out->push_back('"');
}

bool AppendDouble(double value, std::string* out) {
  if (!std::isfinite(value)) return false;
  char buffer[32];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  out->append(text);
  // Without a fraction or exponent the reader would take it for an integer.
  if (text.find_first_of(".e") == std::string_view::npos) out->append(".0");
  return true;
}

class JsonWriter {
 public:
  JsonWriter(bool pretty, std::string* out) : pretty_(pretty), out_(out) {}

  bool Write(const Value& value, size_t depth) {
    switch (value.type()) {
      case Value::Type::kNull:
        out_->append("null");
        return true;
      case Value::Type::kBoolean:
        out_->append(value.GetBool() ? "true" : "false");
        return true;
      case Value::Type::kInteger:
        out_->append(std::to_string(value.GetInt()));
        return true;
      case Value::Type::kDouble:
        return AppendDouble(value.GetDouble(), out_);
      case Value::Type::kString:
        AppendEscaped(value.GetString(), out_);
        return true;
      case Value::Type::kList: {
        const Value::List& list = value.GetList();
        if (list.empty()) {
          out_->append("[]");
          return true;
        }
        out_->push_back('[');
        for (size_t i = 0; i < list.size(); ++i) {
          StartMember(i, depth + 1);
          if (!Write(list[i], depth + 1)) return false;
        }
        EndContainer(depth, ']');
        return true;
      }
      case Value::Type::kDictionary: {
        const Value::Dict& dict = value.GetDict();
        if (dict.empty()) {
          out_->append("{}");
          return true;
        }
        out_->push_back('{');
        size_t i = 0;
        for (const auto& [key, member] : dict) {
          StartMember(i++, depth + 1);
          AppendEscaped(key, out_);
          out_->append(pretty_ ? ": " : ":");
          if (!Write(member, depth + 1)) return false;
        }
        EndContainer(depth, '}');
        return true;
      }
    }
    return false;
  }

 private:
  void StartMember(size_t index, size_t depth) {
    if (index > 0) out_->push_back(',');
    if (!pretty_) return;
    out_->append(kLineEnd);
    out_->append(depth * kIndent, ' ');
  }

  void EndContainer(size_t depth, char bracket) {
    if (pretty_) {
      out_->append(kLineEnd);
      out_->append(depth * kIndent, ' ');
    }
    out_->push_back(bracket);
  }

  const bool pretty_;
  std::string* const out_;
};

}  // namespace

bool JsonWrite(const Value& value, bool pretty, std::string* out) {
  out->clear();
  if (!JsonWriter(pretty, out).Write(value, 0)) {
    out->clear();
    return false;
  }
  if (pretty) out->append(kLineEnd);
  return true;
}

std::string WriteJson(const Value& value, bool pretty) {
  std::string text;
  JsonWrite(value, pretty, &text);
  return text;
}

}  // namespace ostrel
