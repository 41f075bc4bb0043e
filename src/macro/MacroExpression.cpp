#include "macro/MacroExpression.h"

#include <cstdint>
#include <string>

#include "macro/MacroText.h"

namespace marlo {
namespace {

bool IsOperatorChar(char c) {
    switch (c) {
        case '+': case '-': case '*': case '/': case '%': case '<': case '>': case '!': case '=':
        case '&': case '|':
            return true;
        default:
            return false;
    }
}

bool IsPairOperator(const std::string& op) {
    return op == "==" || op == "!=" || op == "<=" || op == ">=" || op == "&&" || op == "||";
}

std::string Literal(std::string_view token) {
    std::string out;
    out.reserve(token.size());
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '^' && i + 1 < token.size() && (token[i + 1] == 'M' || token[i + 1] == 'J')) {
            out += token[i + 1] == 'M' ? '\r' : '\n';
            ++i;
        } else {
            size_t step = SjisStep(token, i);
            out.append(token.substr(i, step));
            i += step - 1;
        }
    }
    return out;
}

// The text between a string value's quotes.
std::string Inner(const std::string& text) { return Unquote(text); }

std::string Flag(bool b) { return b ? "1" : "0"; }

// The six comparisons, for numbers and for strings (byte by byte).
template <typename T>
std::optional<std::string> Compare(const std::string& op, const T& a, const T& b) {
    if (op == "==") return Flag(a == b);
    if (op == "!=") return Flag(a != b);
    if (op == "<") return Flag(a < b);
    if (op == ">") return Flag(a > b);
    if (op == "<=") return Flag(a <= b);
    if (op == ">=") return Flag(a >= b);
    return std::nullopt;
}

}  // namespace

MacroValue MacroEvaluator::Resolve(const std::string& token) const {
    if (token.empty()) return {"", ValueKind::Number};
    if (token[0] == '$' || token[0] == '@') {
        auto name = ElementName(token.substr(1));
        if (!name) return {};
        if (token[0] == '$') {
            auto value = variables_.GetString(*name);
            if (!value) return {};
            return {"\"" + *value + "\"", ValueKind::String};
        }
        auto value = variables_.GetNumber(*name);
        if (!value) return {};
        return {std::to_string(*value), ValueKind::Number};
    }
    if (token[0] == '"') return {Literal(token), ValueKind::String};
    return {token, ValueKind::Number};
}

std::optional<std::string> MacroEvaluator::ElementName(const std::string& name) const {
    size_t open = FindByte(name, '[');
    if (open == std::string::npos) return name;
    if (name.back() != ']' || name.size() < open + 2) return std::nullopt;
    auto index = Evaluate(std::string_view(name).substr(open + 1, name.size() - open - 2));
    if (!index) return std::nullopt;
    return name.substr(0, open) + "[" + *index + "]";
}

std::optional<std::string> MacroEvaluator::Evaluate(std::string_view text) const {
    size_t pos = 0;
    auto value = EvaluateFrom(text, pos, 0);
    if (!value || pos != text.size()) return std::nullopt;
    return value;
}

std::optional<std::string> MacroEvaluator::Apply(const std::string& leftText, const std::string& op,
                                                 const std::string& rightText) const {
    MacroValue left = Resolve(leftText);
    MacroValue right = Resolve(rightText);
    if (left.kind == ValueKind::NotFound || right.kind == ValueKind::NotFound ||
        left.kind != right.kind)
        return std::nullopt;
    if (left.kind == ValueKind::String) {
        std::string a = Inner(left.text), b = Inner(right.text);
        if (op == "+") return "\"" + a + b + "\"";
        return Compare(op, a, b);
    }
    int32_t a = MacroAtoi(left.text), b = MacroAtoi(right.text);
    uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
    auto wrap = [](uint32_t v) { return std::to_string(static_cast<int32_t>(v)); };
    if (op == "+") return wrap(ua + ub);
    if (op == "-") return wrap(ua - ub);
    if (op == "*") return wrap(ua * ub);
    if (op == "/" || op == "%") {
        if (b == 0) return std::nullopt;
        if (b == -1) return op == "/" ? wrap(0u - ua) : "0";  // INT_MIN / -1 wraps
        return std::to_string(op == "/" ? a / b : a % b);
    }
    if (op == "&&") return Flag(a != 0 && b != 0);
    if (op == "||") return Flag(a != 0 || b != 0);
    return Compare(op, a, b);
}

// Reads operands and operators up to the end of the text or the `)` that closes this level (which
// is consumed), applying each operator as soon as its right operand is complete.
std::optional<std::string> MacroEvaluator::EvaluateFrom(std::string_view text, size_t& pos,
                                                        int depth) const {
    if (depth > kMaxNesting) return std::nullopt;
    std::optional<std::string> left;
    std::string op;
    std::string operand;
    bool haveOperand = false;
    bool quoted = false;
    bool closed = false;
    size_t afterOperator = std::string::npos;  // where the last operator character ended

    auto complete = [&]() -> bool {
        if (!haveOperand) return true;
        haveOperand = false;
        std::string right = std::move(operand);
        operand.clear();
        if (!left) {
            if (!op.empty()) return false;
            left = std::move(right);
            return true;
        }
        if (op.empty()) return false;  // two operands with no operator between them
        auto value = Apply(*left, op, right);
        if (!value) return false;
        left = std::move(*value);
        op.clear();
        return true;
    };

    while (pos < text.size()) {
        char c = text[pos];
        size_t step = SjisStep(text, pos);
        if (quoted || step == 2) {
            operand.append(text.substr(pos, step));
            haveOperand = true;
            if (c == '"') quoted = false;
            pos += step;
            continue;
        }
        if (c == '"') {
            quoted = true;
            operand += c;
            haveOperand = true;
            ++pos;
            continue;
        }
        if (c == ' ' || c == '\t') {
            if (!complete()) return std::nullopt;
            ++pos;
            continue;
        }
        if (c == '(') {
            if (haveOperand) return std::nullopt;
            ++pos;
            auto inner = EvaluateFrom(text, pos, depth + 1);
            if (!inner) return std::nullopt;
            operand = std::move(*inner);
            haveOperand = true;
            continue;
        }
        if (c == ')') {
            if (depth == 0) return std::nullopt;
            ++pos;
            closed = true;
            break;
        }
        if (IsOperatorChar(c)) {
            bool adjacent = afterOperator == pos && !op.empty();
            // A minus where an operand is expected starts a negative number ("5 - -3", "(-1)").
            if (c == '-' && !haveOperand && (!left || !op.empty()) && !(adjacent && op == "-")) {
                operand += c;
                haveOperand = true;
                ++pos;
                continue;
            }
            if (!complete()) return std::nullopt;
            ++pos;
            if (adjacent && op.size() == 1) {
                std::string pair = op + c;
                if (pair == "++" || pair == "--") {  // the operand before them plus or minus one
                    MacroValue v = Resolve(*left);
                    if (v.kind != ValueKind::Number) return std::nullopt;
                    uint32_t n = static_cast<uint32_t>(MacroAtoi(v.text));
                    left = std::to_string(static_cast<int32_t>(pair == "++" ? n + 1 : n - 1));
                    op.clear();
                    afterOperator = std::string::npos;
                    continue;
                }
                if (!IsPairOperator(pair)) return std::nullopt;
                op = pair;
                afterOperator = std::string::npos;
                continue;
            }
            if (!op.empty() || !left) return std::nullopt;
            op = std::string(1, c);
            afterOperator = pos;
            continue;
        }
        operand += c;
        haveOperand = true;
        ++pos;
    }
    if (quoted || (depth > 0 && !closed)) return std::nullopt;
    if (!complete() || !op.empty() || !left) return std::nullopt;
    MacroValue value = Resolve(*left);
    if (value.kind == ValueKind::NotFound) return std::nullopt;
    return value.text;
}

}  // namespace marlo
