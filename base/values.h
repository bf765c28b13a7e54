// A JSON-shaped value: null, boolean, integer, double, UTF-8 string, list or
// dictionary. Used by the JSON reader and writer and by every caller that
// reads configuration documents or builds files for setup.
#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ostrel {

class Value {
 public:
  enum class Type { kNull, kBoolean, kInteger, kDouble, kString, kList, kDictionary };

  using List = std::vector<Value>;
  // Keys in byte-wise order, which is also the order the writer uses.
  using Dict = std::map<std::string, Value>;

  Value() = default;
  // Not explicit: with an explicit bool constructor `SetKey("k", true)` would
  // silently pick Value(int) and store 1.
  Value(bool value) : data_(value) {}  // NOLINT(google-explicit-constructor)
  Value(int value) : data_(value) {}
  Value(double value) : data_(value) {}
  Value(std::string value) : data_(std::move(value)) {}
  explicit Value(std::string_view value) : data_(std::string(value)) {}
  Value(const char* value) : data_(std::string(value)) {}
  Value(List value) : data_(std::move(value)) {}
  Value(Dict value) : data_(std::move(value)) {}
  // Any other pointer would otherwise become a boolean.
  Value(const void*) = delete;
  Value(std::nullptr_t) = delete;

  // Out of line: inlined std::variant moves draw false -Wmaybe-uninitialized
  // warnings from GCC 12 in callers.
  Value(const Value&);
  Value(Value&&) noexcept;
  Value& operator=(const Value&);
  Value& operator=(Value&&) noexcept;
  ~Value();

  Type type() const { return static_cast<Type>(data_.index()); }
  // Name of a type for diagnostics: "null", "boolean", "integer", ...
  static const char* TypeName(Type type);

  bool is_none() const { return type() == Type::kNull; }
  bool is_bool() const { return type() == Type::kBoolean; }
  bool is_int() const { return type() == Type::kInteger; }
  bool is_double() const { return type() == Type::kDouble; }
  bool is_string() const { return type() == Type::kString; }
  bool is_list() const { return type() == Type::kList; }
  bool is_dict() const { return type() == Type::kDictionary; }

  // Asking for the wrong type is a programming error and ends the process;
  // check the type (or use the Find* helpers) first.
  bool GetBool() const;
  int GetInt() const;
  // Integers widen to double.
  double GetDouble() const;
  const std::string& GetString() const;
  std::string& GetString();
  const List& GetList() const;
  List& GetList();
  const Dict& GetDict() const;
  Dict& GetDict();

  // Dictionary lookups. Null when this is not a dictionary, the key is
  // missing or the value has another type.
  const Value* FindKey(std::string_view key) const;
  Value* FindKey(std::string_view key);
  std::optional<bool> FindBoolKey(std::string_view key) const;
  std::optional<int> FindIntKey(std::string_view key) const;
  // Accepts integers too.
  std::optional<double> FindDoubleKey(std::string_view key) const;
  const std::string* FindStringKey(std::string_view key) const;
  const List* FindListKey(std::string_view key) const;
  const Dict* FindDictKey(std::string_view key) const;

  // Same through nested dictionaries: "install.setup_url" is key "setup_url"
  // of the dictionary at key "install". Keys containing "." cannot be reached.
  const Value* FindPath(std::string_view dotted_path) const;
  Value* FindPath(std::string_view dotted_path);
  std::optional<bool> FindBoolPath(std::string_view dotted_path) const;
  std::optional<int> FindIntPath(std::string_view dotted_path) const;
  std::optional<double> FindDoublePath(std::string_view dotted_path) const;
  const std::string* FindStringPath(std::string_view dotted_path) const;
  const List* FindListPath(std::string_view dotted_path) const;
  const Dict* FindDictPath(std::string_view dotted_path) const;

  // Sets `key` of this dictionary (replacing any earlier value) and returns
  // the stored value. Calling it on another type ends the process.
  Value* SetKey(std::string key, Value value);
  // True when the key was there.
  bool RemoveKey(std::string_view key);

  // Deep comparison; an integer never equals a double.
  friend bool operator==(const Value& a, const Value& b) { return a.data_ == b.data_; }

 private:
  // Order matches Type.
  std::variant<std::monostate, bool, int, double, std::string, List, Dict> data_;
};

}  // namespace ostrel

#endif  // BASE_VALUES_H_
