#pragma once

// The nodes of a compiled expression: each evaluates itself against a
// record. Built by the parser, owned and evaluated through Expr.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bytes.h"
#include "expr.h"
#include "numtext.h"

namespace xb {

// ---------------------------------------------------------------------------
// Nodes

struct ExprNode {
    ExprType type = ExprType::Invalid;
    uint32_t width = 0;  // character results: the widest text

    virtual ~ExprNode() = default;
    virtual bool logical(const EvalContext&) const { return false; }
    virtual double numeric(const EvalContext&) const { return 0.0; }
    virtual std::string_view text(const EvalContext&) const { return {}; }
    virtual const double* constantNumber() const { return nullptr; }
};

using NodePtr = std::unique_ptr<ExprNode>;

struct NumberLiteral final : ExprNode {
    double value;
    explicit NumberLiteral(double v) : value(v) { type = ExprType::Numeric; }
    double numeric(const EvalContext&) const override { return value; }
    const double* constantNumber() const override { return &value; }
};

struct TextLiteral final : ExprNode {
    std::string value;
    explicit TextLiteral(std::string v) : value(std::move(v))
    {
        type = ExprType::Char;
        width = static_cast<uint32_t>(value.size());
    }
    std::string_view text(const EvalContext&) const override { return value; }
};

struct LogicalLiteral final : ExprNode {
    bool value;
    explicit LogicalLiteral(bool v) : value(v) { type = ExprType::Logical; }
    bool logical(const EvalContext&) const override { return value; }
};

struct TextField final : ExprNode {
    uint32_t offset;
    TextField(uint32_t off, uint32_t w, ExprType t) : offset(off)
    {
        type = t;
        width = w;
    }
    std::string_view text(const EvalContext& c) const override { return {c.record + offset, width}; }
};

struct NumericField final : ExprNode {
    uint32_t offset;
    NumericField(uint32_t off, uint32_t w) : offset(off)
    {
        type = ExprType::Numeric;
        width = w;
    }
    double numeric(const EvalContext& c) const override { return parseNumeric({c.record + offset, width}); }
};

struct IntegerField final : ExprNode {
    uint32_t offset;
    explicit IntegerField(uint32_t off) : offset(off) { type = ExprType::Numeric; }
    double numeric(const EvalContext& c) const override
    {
        const auto* p = reinterpret_cast<const unsigned char*>(c.record + offset);
        return static_cast<double>(static_cast<int32_t>(readLe32(p)));
    }
};

struct LogicalField final : ExprNode {
    uint32_t offset;
    explicit LogicalField(uint32_t off) : offset(off) { type = ExprType::Logical; }
    bool logical(const EvalContext& c) const override
    {
        const char v = asciiUpper(c.record[offset]);
        return v == 'T' || v == 'Y';
    }
};

struct DeletedFunc final : ExprNode {
    DeletedFunc() { type = ExprType::Logical; }
    bool logical(const EvalContext& c) const override { return c.record[0] == '*'; }
};

struct RecNoFunc final : ExprNode {
    RecNoFunc() { type = ExprType::Numeric; }
    double numeric(const EvalContext& c) const override { return c.recNo; }
};

enum class RelOp { Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains };

inline bool applyOrder(RelOp op, int c)
{
    switch (op) {
    case RelOp::Eq:
    case RelOp::ExactEq: return c == 0;
    case RelOp::Ne: return c != 0;
    case RelOp::Lt: return c < 0;
    case RelOp::Le: return c <= 0;
    case RelOp::Gt: return c > 0;
    case RelOp::Ge: return c >= 0;
    case RelOp::Contains: return false;
    }
    return false;
}

struct Compare final : ExprNode {
    RelOp op;
    ExprType operands;
    NodePtr left, right;
    Compare(RelOp o, NodePtr l, NodePtr r) : op(o), operands(l->type), left(std::move(l)), right(std::move(r))
    {
        type = ExprType::Logical;
    }
    bool logical(const EvalContext& c) const override
    {
        switch (operands) {
        case ExprType::Numeric: {
            const double a = left->numeric(c);
            const double b = right->numeric(c);
            if (a == b)
                return applyOrder(op, 0);
            if (a < b)
                return applyOrder(op, -1);
            if (a > b)
                return applyOrder(op, 1);
            return op == RelOp::Ne;  // NaN: only "not equal" holds
        }
        case ExprType::Logical: {
            const bool a = left->logical(c);
            const bool b = right->logical(c);
            return op == RelOp::Ne ? a != b : a == b;
        }
        case ExprType::Char:
        case ExprType::Date: {
            const std::string_view a = left->text(c);
            const std::string_view b = right->text(c);
            if (op == RelOp::Contains)
                return !a.empty() && b.find(a) != std::string_view::npos;
            if (op == RelOp::ExactEq)
                return a == b;
            const bool exact = c.exact || operands == ExprType::Date;
            return applyOrder(op, exact ? compareExact(a, b) : compareNonExact(a, b));
        }
        case ExprType::Invalid: break;
        }
        return false;
    }
};

struct Not final : ExprNode {
    NodePtr operand;
    explicit Not(NodePtr o) : operand(std::move(o)) { type = ExprType::Logical; }
    bool logical(const EvalContext& c) const override { return !operand->logical(c); }
};

// Operator chains (a .AND. b .AND. c, a + b - c, "x" + f + "y") are one node holding
// their operands, evaluated in a loop: a long chain needs no deep recursion, and a
// text chain fills one buffer instead of one growing copy per operator.

struct Junction final : ExprNode {
    bool isAnd;
    std::vector<NodePtr> operands;
    Junction(bool a, std::vector<NodePtr> o) : isAnd(a), operands(std::move(o)) { type = ExprType::Logical; }
    bool logical(const EvalContext& c) const override
    {
        // Left to right, stopping at the first operand that decides.
        for (const NodePtr& o : operands)
            if (o->logical(c) != isAnd)
                return !isAnd;
        return isAnd;
    }
};

struct Negate final : ExprNode {
    NodePtr operand;
    explicit Negate(NodePtr o) : operand(std::move(o)) { type = ExprType::Numeric; }
    double numeric(const EvalContext& c) const override { return -operand->numeric(c); }
};

inline double applyArithmetic(char op, double a, double b)
{
    switch (op) {
    case '+': return a + b;
    case '-': return a - b;
    case '*': return a * b;
    case '/': return b == 0.0 ? 0.0 : a / b;  // no infinities in keys or counts
    case '%': return b == 0.0 ? 0.0 : std::fmod(a, b);
    }
    return 0.0;
}

// Operands of one precedence level, applied left to right as written; ops[i] joins
// operands[i] to what comes before it (ops[0] is unused).
struct Arithmetic final : ExprNode {
    std::vector<char> ops;
    std::vector<NodePtr> operands;
    Arithmetic(std::vector<char> o, std::vector<NodePtr> v) : ops(std::move(o)), operands(std::move(v))
    {
        type = ExprType::Numeric;
    }
    double numeric(const EvalContext& c) const override
    {
        double acc = operands[0]->numeric(c);
        for (size_t i = 1; i < operands.size(); ++i)
            acc = applyArithmetic(ops[i], acc, operands[i]->numeric(c));
        return acc;
    }
};

struct Concat final : ExprNode {
    std::vector<NodePtr> parts;
    mutable std::string buf;
    Concat(std::vector<NodePtr> p, uint32_t w) : parts(std::move(p))
    {
        type = ExprType::Char;
        width = w;
    }
    std::string_view text(const EvalContext& c) const override
    {
        buf.clear();
        for (const NodePtr& p : parts)
            buf.append(p->text(c));
        return buf;
    }
};

// Windows-1251 letters: Latin, Cyrillic А..я, and the Ukrainian and Russian extras.
inline unsigned char upperCp1251(unsigned char ch)
{
    if (ch >= 'a' && ch <= 'z')
        return static_cast<unsigned char>(ch - 32);
    if (ch >= 0xE0)
        return static_cast<unsigned char>(ch - 32);
    switch (ch) {
    case 0xB8: return 0xA8;  // ё
    case 0xBA: return 0xAA;  // є
    case 0xBF: return 0xAF;  // ї
    case 0xB3: return 0xB2;  // і
    case 0xB4: return 0xA5;  // ґ
    case 0xA2: return 0xA1;  // ў
    default: return ch;
    }
}

inline unsigned char lowerCp1251(unsigned char ch)
{
    if (ch >= 'A' && ch <= 'Z')
        return static_cast<unsigned char>(ch + 32);
    if (ch >= 0xC0 && ch <= 0xDF)
        return static_cast<unsigned char>(ch + 32);
    switch (ch) {
    case 0xA8: return 0xB8;
    case 0xAA: return 0xBA;
    case 0xAF: return 0xBF;
    case 0xB2: return 0xB3;
    case 0xA5: return 0xB4;
    case 0xA1: return 0xA2;
    default: return ch;
    }
}

enum class Func { Upper, Lower, Trim, LTrim, AllTrim, Substr, Left, Str, Val, Dtos, Empty, Iif };

struct FuncCall final : ExprNode {
    Func func;
    std::vector<NodePtr> args;
    mutable std::string buf;

    FuncCall(Func f, std::vector<NodePtr> a) : func(f), args(std::move(a)) { }

    int intArg(size_t i, const EvalContext& c, int fallback) const
    {
        if (i >= args.size())
            return fallback;
        const double v = args[i]->numeric(c);
        if (!(v > -1e9 && v < 1e9))
            return fallback;
        return static_cast<int>(v);
    }

    bool logical(const EvalContext& c) const override
    {
        if (func == Func::Iif)
            return args[0]->logical(c) ? args[1]->logical(c) : args[2]->logical(c);
        // EMPTY()
        switch (args[0]->type) {
        case ExprType::Numeric: return args[0]->numeric(c) == 0.0;
        case ExprType::Logical: return !args[0]->logical(c);
        default: return trimRight(args[0]->text(c)).empty();
        }
    }

    double numeric(const EvalContext& c) const override
    {
        if (func == Func::Iif)
            return args[0]->logical(c) ? args[1]->numeric(c) : args[2]->numeric(c);
        return parseLeadingNumber(args[0]->text(c));  // VAL()
    }

    std::string_view text(const EvalContext& c) const override
    {
        switch (func) {
        case Func::Upper:
        case Func::Lower: {
            buf.assign(args[0]->text(c));
            for (char& ch : buf) {
                const auto u = static_cast<unsigned char>(ch);
                ch = static_cast<char>(func == Func::Upper ? upperCp1251(u) : lowerCp1251(u));
            }
            return buf;
        }
        case Func::Trim: return trimRight(args[0]->text(c));
        case Func::LTrim: return trimLeft(args[0]->text(c));
        case Func::AllTrim: return trimLeft(trimRight(args[0]->text(c)));
        case Func::Substr:
        case Func::Left: {
            const std::string_view s = args[0]->text(c);
            const int start = func == Func::Left ? 1 : intArg(1, c, 1);
            const int count = func == Func::Left ? intArg(1, c, 0) : intArg(2, c, static_cast<int>(s.size()));
            if (start < 1 || count <= 0 || static_cast<size_t>(start) > s.size())
                return {};
            return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
        }
        case Func::Str: {
            const int len = std::clamp(intArg(1, c, 10), 1, 255);
            const int dec = std::clamp(intArg(2, c, 0), 0, 15);
            buf.assign(static_cast<size_t>(len), ' ');
            if (!formatNumeric(args[0]->numeric(c), len, dec, buf.data()))
                buf.assign(static_cast<size_t>(len), '*');  // overflow, as xBase shows it
            return buf;
        }
        case Func::Dtos: return args[0]->text(c);
        case Func::Iif: return args[0]->logical(c) ? args[1]->text(c) : args[2]->text(c);
        case Func::Val:
        case Func::Empty: break;
        }
        return {};
    }
};

}  // namespace xb
