#include "base/values.h"

#include <cstdio>
#include <cstdlib>

namespace ostrel {
namespace {

// A wrong-type access is a bug in the caller, never a property of the input.
[[noreturn]] void WrongType(Value::Type actual, const char* wanted) {
  std::fprintf(stderr, "Value: %s used as %s\n", Value::TypeName(actual), wanted);
  std::abort();
}

}  // namespace

Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

const char* Value::TypeName(Type type) {
  switch (type) {
    case Type::kNull:
      return "null";
    case Type::kBoolean:
      return "boolean";
    case Type::kInteger:
      return "integer";
    case Type::kDouble:
      return "double";
    case Type::kString:
      return "string";
    case Type::kList:
      return "list";
    case Type::kDictionary:
      return "dictionary";
  }
  return "unknown";
}

bool Value::GetBool() const {
  if (!is_bool()) WrongType(type(), "boolean");
  return std::get<bool>(data_);
}

int Value::GetInt() const {
  if (!is_int()) WrongType(type(), "integer");
  return std::get<int>(data_);
}

double Value::GetDouble() const {
  if (is_int()) return std::get<int>(data_);
  if (!is_double()) WrongType(type(), "double");
  return std::get<double>(data_);
}

const std::string& Value::GetString() const {
  if (!is_string()) WrongType(type(), "string");
  return std::get<std::string>(data_);
}

std::string& Value::GetString() {
  if (!is_string()) WrongType(type(), "string");
  return std::get<std::string>(data_);
}

const Value::List& Value::GetList() const {
  if (!is_list()) WrongType(type(), "list");
  return std::get<List>(data_);
}

Value::List& Value::GetList() {
  if (!is_list()) WrongType(type(), "list");
  return std::get<List>(data_);
}

const Value::Dict& Value::GetDict() const {
  if (!is_dict()) WrongType(type(), "dictionary");
  return std::get<Dict>(data_);
}

Value::Dict& Value::GetDict() {
  if (!is_dict()) WrongType(type(), "dictionary");
  return std::get<Dict>(data_);
}

const Value* Value::FindKey(std::string_view key) const {
  if (!is_dict()) return nullptr;
  const Dict& dict = std::get<Dict>(data_);
  auto it = dict.find(std::string(key));
  return it == dict.end() ? nullptr : &it->second;
}

Value* Value::FindKey(std::string_view key) {
  return const_cast<Value*>(static_cast<const Value*>(this)->FindKey(key));
}

const Value* Value::FindPath(std::string_view dotted_path) const {
  const Value* current = this;
  for (;;) {
    size_t dot = dotted_path.find('.');
    current = current->FindKey(dotted_path.substr(0, dot));
    if (!current || dot == std::string_view::npos) return current;
    dotted_path.remove_prefix(dot + 1);
  }
}

Value* Value::FindPath(std::string_view dotted_path) {
  return const_cast<Value*>(static_cast<const Value*>(this)->FindPath(dotted_path));
}

namespace {

std::optional<bool> AsBool(const Value* value) {
  if (!value || !value->is_bool()) return std::nullopt;
  return value->GetBool();
}

std::optional<int> AsInt(const Value* value) {
  if (!value || !value->is_int()) return std::nullopt;
  return value->GetInt();
}

std::optional<double> AsDouble(const Value* value) {
  if (!value || !(value->is_int() || value->is_double())) return std::nullopt;
  return value->GetDouble();
}

const std::string* AsString(const Value* value) {
  return value && value->is_string() ? &value->GetString() : nullptr;
}

const Value::List* AsList(const Value* value) {
  return value && value->is_list() ? &value->GetList() : nullptr;
}

const Value::Dict* AsDict(const Value* value) {
  return value && value->is_dict() ? &value->GetDict() : nullptr;
}

}  // namespace

std::optional<bool> Value::FindBoolKey(std::string_view key) const { return AsBool(FindKey(key)); }
std::optional<int> Value::FindIntKey(std::string_view key) const { return AsInt(FindKey(key)); }
std::optional<double> Value::FindDoubleKey(std::string_view key) const { return AsDouble(FindKey(key)); }
const std::string* Value::FindStringKey(std::string_view key) const { return AsString(FindKey(key)); }
const Value::List* Value::FindListKey(std::string_view key) const { return AsList(FindKey(key)); }
const Value::Dict* Value::FindDictKey(std::string_view key) const { return AsDict(FindKey(key)); }

std::optional<bool> Value::FindBoolPath(std::string_view path) const { return AsBool(FindPath(path)); }
std::optional<int> Value::FindIntPath(std::string_view path) const { return AsInt(FindPath(path)); }
std::optional<double> Value::FindDoublePath(std::string_view path) const { return AsDouble(FindPath(path)); }
const std::string* Value::FindStringPath(std::string_view path) const { return AsString(FindPath(path)); }
const Value::List* Value::FindListPath(std::string_view path) const { return AsList(FindPath(path)); }
const Value::Dict* Value::FindDictPath(std::string_view path) const { return AsDict(FindPath(path)); }

Value* Value::SetKey(std::string key, Value value) {
  Value& slot = GetDict()[std::move(key)];
  slot = std::move(value);
  return &slot;
}

bool Value::RemoveKey(std::string_view key) {
  if (!is_dict()) return false;
  return std::get<Dict>(data_).erase(std::string(key)) != 0;
}

}  // namespace ostrel
