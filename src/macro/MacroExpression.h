// Values of the macro language: turning an argument token into its value, and evaluating the
// text of a parenthesised expression. Evaluation runs strictly from left to right with no
// precedence (2 + 3 * 4 is 20); numbers are 32-bit and wrap around.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "macro/MacroVariables.h"

namespace marlo {

enum class ValueKind { String, Number, NotFound };

// A resolved token: a string's text keeps its double quotes ("\"abc\""), a number is decimal text.
struct MacroValue {
    std::string text;
    ValueKind kind = ValueKind::NotFound;
};

class MacroEvaluator {
  public:
    static constexpr int kMaxNesting = 32;

    explicit MacroEvaluator(MacroVariables& variables) : variables_(variables) {}

    // `$name` a string variable, `@name` a number variable, a quoted literal (^M and ^J become CR
    // and LF), anything else stands for itself as a number.
    MacroValue Resolve(const std::string& token) const;
    // The value of an expression's text, or nothing when it fails (unknown operator, missing
    // operand, a variable that does not exist, a string met with a number, division by zero,
    // unbalanced or too deeply nested parentheses).
    std::optional<std::string> Evaluate(std::string_view text) const;
    // A variable name with an index in brackets has its index evaluated: "a[@i+1]" -> "a[3]".
    // Names without brackets come back as they are; a malformed index gives nothing.
    std::optional<std::string> ElementName(const std::string& name) const;

  private:
    std::optional<std::string> EvaluateFrom(std::string_view text, size_t& pos, int depth) const;
    std::optional<std::string> Apply(const std::string& left, const std::string& op,
                                     const std::string& right) const;

    MacroVariables& variables_;
};

}  // namespace marlo
