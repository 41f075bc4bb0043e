// The macro's variables: a global table of strings and one of numbers, and a stack of local frames
// (one per function call) with tables of the same shape. Lookups see the innermost frame, then the
// globals. Names are compared byte for byte, except when a variable is freed (case does not matter
// there). The reserved `userid` and `password` always read as the connected host's ID and
// password, whatever their slots hold; the number `result` is always the global one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

class MacroVariables {
  public:
    static constexpr size_t kSlots = 100;       // per table
    static constexpr size_t kMaxName = 50;      // bytes
    static constexpr size_t kMaxValue = 100;    // bytes of a string value
    static constexpr const char* kResult = "result";
    static constexpr const char* kUserId = "userid";
    static constexpr const char* kPassword = "password";

    enum class Define { Ok, Exists, Full };

    // Empties every table and frame and creates the reserved variables.
    void Reset();

    std::optional<std::string> GetString(const std::string& name) const;
    std::optional<int32_t> GetNumber(const std::string& name) const;
    // False when no such variable is visible.
    bool SetString(const std::string& name, const std::string& value);
    bool SetNumber(const std::string& name, int32_t value);
    // The global `result`, whichever frame is running.
    void SetResult(int32_t value) { SetNumber(kResult, value); }
    int32_t Result() const { return GetNumber(kResult).value_or(0); }

    Define DefineString(const std::string& name, bool local);
    Define DefineNumber(const std::string& name, bool local);
    // False when no variable of that name (any case) is in the table.
    bool DeleteString(const std::string& name, bool local);
    bool DeleteNumber(const std::string& name, bool local);
    static bool IsReserved(const std::string& name);

    void PushFrame();
    void PopFrame();
    bool InFunction() const { return !frames_.empty(); }

    // Where `userid` and `password` come from (the connected host); empty when unset.
    std::function<std::string()> userId;
    std::function<std::string()> password;

  private:
    template <typename T>
    struct Slot {
        std::string name;
        T value{};
    };
    struct Tables {
        std::vector<Slot<std::string>> strings;
        std::vector<Slot<int32_t>> numbers;
    };
    // `Self` is MacroVariables or const MacroVariables; `Table` is &Tables::strings or ::numbers.
    template <typename Self, typename Table>
    static auto Lookup(Self& self, Table table, const std::string& name);
    template <typename T>
    static Define DefineIn(std::vector<Slot<T>>& table, const std::string& name);
    template <typename T>
    static bool DeleteIn(std::vector<Slot<T>>& table, const std::string& name);
    Tables& Scope(bool local) { return local && !frames_.empty() ? frames_.back() : globals_; }

    Tables globals_;
    std::vector<Tables> frames_;
};

}  // namespace marlo
