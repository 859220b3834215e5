#include "expr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "bytes.h"
#include "numtext.h"

namespace xb {

// ---------------------------------------------------------------------------
// Text comparison

int compareNonExact(std::string_view left, std::string_view right)
{
    if (right.empty())
        return 0;
    const size_t n = std::min(left.size(), right.size());
    if (n > 0) {
        const int c = std::memcmp(left.data(), right.data(), n);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    return right.size() <= left.size() ? 0 : -1;
}

int compareExact(std::string_view left, std::string_view right)
{
    const size_t n = std::max(left.size(), right.size());
    for (size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(i < left.size() ? left[i] : ' ');
        const auto b = static_cast<unsigned char>(i < right.size() ? right[i] : ' ');
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

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

namespace {

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

bool applyOrder(RelOp op, int c)
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

double applyArithmetic(char op, double a, double b)
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
unsigned char upperCp1251(unsigned char ch)
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

unsigned char lowerCp1251(unsigned char ch)
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

// ---------------------------------------------------------------------------
// Tokens

enum class Tok {
    End,
    Number,
    String,
    Ident,
    And,
    Or,
    Not,
    True,
    False,
    LParen,
    RParen,
    Comma,
    Eq,
    ExactEq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Dollar,
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
};

struct Token {
    Tok kind = Tok::End;
    size_t pos = 0;
    std::string text;  // identifier (upper case) or string literal
    double number = 0.0;
};

class Lexer {
public:
    explicit Lexer(std::string_view s) : m_s(s) { }

    bool next(Token* t, std::string* error)
    {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\r' || m_s[m_i] == '\n'))
            ++m_i;
        *t = Token();
        t->pos = m_i;
        if (m_i >= m_s.size())
            return true;
        const char c = m_s[m_i];
        const char n = m_i + 1 < m_s.size() ? m_s[m_i + 1] : '\0';
        if (isDigit(c) || (c == '.' && isDigit(n)))
            return number(t, error);
        if (c == '.')
            return dotWord(t, error);
        if (c == '"' || c == '\'' || c == '[')
            return string(t, c == '[' ? ']' : c, error);
        if (isLetter(c) || c == '_')
            return identifier(t);
        m_i += 1;
        switch (c) {
        case '(': t->kind = Tok::LParen; return true;
        case ')': t->kind = Tok::RParen; return true;
        case ',': t->kind = Tok::Comma; return true;
        case '+': t->kind = Tok::Plus; return true;
        case '-': t->kind = Tok::Minus; return true;
        case '*': t->kind = Tok::Star; return true;
        case '/': t->kind = Tok::Slash; return true;
        case '%': t->kind = Tok::Percent; return true;
        case '$': t->kind = Tok::Dollar; return true;
        case '#': t->kind = Tok::Ne; return true;
        case '=': t->kind = take('=') ? Tok::ExactEq : Tok::Eq; return true;
        case '<': t->kind = take('=') ? Tok::Le : take('>') ? Tok::Ne : Tok::Lt; return true;
        case '>': t->kind = take('=') ? Tok::Ge : Tok::Gt; return true;
        case '!': t->kind = take('=') ? Tok::Ne : Tok::Not; return true;
        default: break;
        }
        *error = "unexpected character at position " + std::to_string(t->pos + 1);
        return false;
    }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

    bool take(char c)
    {
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }

    bool number(Token* t, std::string* error)
    {
        const size_t start = m_i;
        while (m_i < m_s.size() && isDigit(m_s[m_i]))
            ++m_i;
        if (m_i < m_s.size() && m_s[m_i] == '.' && m_i + 1 < m_s.size() && isDigit(m_s[m_i + 1])) {
            ++m_i;
            while (m_i < m_s.size() && isDigit(m_s[m_i]))
                ++m_i;
        }
        auto [ptr, ec] = std::from_chars(m_s.data() + start, m_s.data() + m_i, t->number, std::chars_format::fixed);
        if (ec != std::errc() || ptr != m_s.data() + m_i || !std::isfinite(t->number)) {
            *error = "invalid number at position " + std::to_string(start + 1);
            return false;
        }
        t->kind = Tok::Number;
        return true;
    }

    bool dotWord(Token* t, std::string* error)
    {
        const size_t start = m_i++;
        std::string word;
        while (m_i < m_s.size() && isLetter(m_s[m_i]) && word.size() < 8)
            word += asciiUpper(m_s[m_i++]);
        if (m_i < m_s.size() && m_s[m_i] == '.') {
            ++m_i;
            if (word == "AND") {
                t->kind = Tok::And;
                return true;
            }
            if (word == "OR") {
                t->kind = Tok::Or;
                return true;
            }
            if (word == "NOT") {
                t->kind = Tok::Not;
                return true;
            }
            if (word == "T" || word == "Y") {
                t->kind = Tok::True;
                return true;
            }
            if (word == "F" || word == "N") {
                t->kind = Tok::False;
                return true;
            }
        }
        *error = "unknown operator at position " + std::to_string(start + 1);
        return false;
    }

    bool string(Token* t, char close, std::string* error)
    {
        const size_t start = m_i++;
        const size_t end = m_s.find(close, m_i);
        if (end == std::string_view::npos) {
            *error = "unterminated string starting at position " + std::to_string(start + 1);
            return false;
        }
        t->kind = Tok::String;
        t->text.assign(m_s.substr(m_i, end - m_i));
        m_i = end + 1;
        return true;
    }

    bool identifier(Token* t)
    {
        while (m_i < m_s.size() && (isLetter(m_s[m_i]) || isDigit(m_s[m_i]) || m_s[m_i] == '_'))
            t->text += asciiUpper(m_s[m_i++]);
        t->kind = Tok::Ident;
        // "ALIAS->FIELD": the alias names the table the expression runs on anyway.
        if (m_i + 1 < m_s.size() && m_s[m_i] == '-' && m_s[m_i + 1] == '>') {
            size_t j = m_i + 2;
            while (j < m_s.size() && m_s[j] == ' ')
                ++j;
            if (j < m_s.size() && (isLetter(m_s[j]) || m_s[j] == '_')) {
                m_i = j;
                t->text.clear();
                return identifier(t);
            }
        }
        return true;
    }

    std::string_view m_s;
    size_t m_i = 0;
};

// ---------------------------------------------------------------------------
// Parser

// Bounds that keep hostile or generated input from exhausting the stack or memory.
// Parsing, evaluating and freeing recurse once per tree level; chains being single
// nodes, a nesting level (parentheses, a call, a sign, .NOT.) adds at most a handful of
// levels, so bounding the nesting bounds the tree's depth. Every node takes at least
// one byte of text, so bounding the text bounds the node count.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxLength = size_t{1} << 20;
constexpr uint64_t kMaxTextWidth = uint64_t{1} << 20;  // a text result's buffer

class Parser {
public:
    Parser(std::string_view text, const std::vector<FieldDesc>* fields) : m_lexer(text), m_fields(fields) { }

    NodePtr parse(std::string* error, int* plainField)
    {
        if (!advance())
            return fail(error);
        if (m_tok.kind == Tok::End) {
            m_error = "empty expression";
            return fail(error);
        }
        const bool single = true;
        NodePtr root = orExpr();
        if (root && m_tok.kind != Tok::End) {
            m_error = "unexpected text at position " + std::to_string(m_tok.pos + 1);
            root.reset();
        }
        if (!root)
            return fail(error);
        *plainField = (single && m_fieldRefs == 1 && m_nodes == 1) ? m_lastField : -1;
        return root;
    }

private:
    NodePtr fail(std::string* error)
    {
        *error = m_error.empty() ? "invalid expression" : m_error;
        return nullptr;
    }

    bool advance()
    {
        std::string err;
        if (!m_lexer.next(&m_tok, &err)) {
            m_error = err;
            return false;
        }
        return true;
    }

    NodePtr error(const std::string& text)
    {
        if (m_error.empty())
            m_error = text;
        return nullptr;
    }

    NodePtr typeError(const char* what, size_t pos)
    {
        return error(std::string("type mismatch: ") + what + " at position " + std::to_string(pos + 1));
    }

    struct Depth {
        int& d;
        explicit Depth(int& dd) : d(dd) { ++d; }
        ~Depth() { --d; }
    };

    NodePtr orExpr()
    {
        Depth guard(m_depth);
        if (m_depth > kMaxDepth)
            return error("expression nested too deeply");
        return junction(false);
    }

    NodePtr andExpr() { return junction(true); }

    // One .OR. chain of .AND. chains, or one .AND. chain of negations.
    NodePtr junction(bool isAnd)
    {
        const Tok op = isAnd ? Tok::And : Tok::Or;
        NodePtr first = isAnd ? notExpr() : andExpr();
        if (!first || m_tok.kind != op)
            return first;
        std::vector<NodePtr> operands;
        operands.push_back(std::move(first));
        while (m_tok.kind == op) {
            const size_t pos = m_tok.pos;
            if (!advance())
                return nullptr;
            NodePtr right = isAnd ? notExpr() : andExpr();
            if (!right)
                return nullptr;
            if (operands[0]->type != ExprType::Logical || right->type != ExprType::Logical)
                return typeError(isAnd ? ".AND. needs logical operands" : ".OR. needs logical operands", pos);
            operands.push_back(std::move(right));
        }
        return make<Junction>(isAnd, std::move(operands));
    }

    NodePtr notExpr()
    {
        if (m_tok.kind != Tok::Not)
            return relExpr();
        Depth guard(m_depth);
        if (m_depth > kMaxDepth)
            return error("expression nested too deeply");
        const size_t pos = m_tok.pos;
        if (!advance())
            return nullptr;
        NodePtr operand = notExpr();
        if (!operand)
            return nullptr;
        if (operand->type != ExprType::Logical)
            return typeError(".NOT. needs a logical operand", pos);
        return make<Not>(std::move(operand));
    }

    static bool relational(Tok k, RelOp* op)
    {
        switch (k) {
        case Tok::Eq: *op = RelOp::Eq; return true;
        case Tok::ExactEq: *op = RelOp::ExactEq; return true;
        case Tok::Ne: *op = RelOp::Ne; return true;
        case Tok::Lt: *op = RelOp::Lt; return true;
        case Tok::Le: *op = RelOp::Le; return true;
        case Tok::Gt: *op = RelOp::Gt; return true;
        case Tok::Ge: *op = RelOp::Ge; return true;
        case Tok::Dollar: *op = RelOp::Contains; return true;
        default: return false;
        }
    }

    NodePtr relExpr()
    {
        NodePtr left = addExpr();
        RelOp op{};
        if (!left || !relational(m_tok.kind, &op))
            return left;
        const size_t pos = m_tok.pos;
        if (!advance())
            return nullptr;
        NodePtr right = addExpr();
        if (!right)
            return nullptr;
        const ExprType t = left->type;
        if (t != right->type)
            return typeError("the two sides of a comparison differ in type", pos);
        if (op == RelOp::Contains && t != ExprType::Char)
            return typeError("$ needs character operands", pos);
        if (t == ExprType::Logical && op != RelOp::Eq && op != RelOp::ExactEq && op != RelOp::Ne)
            return typeError("logical values can only be compared for equality", pos);
        return make<Compare>(op, std::move(left), std::move(right));
    }

    NodePtr addExpr()
    {
        NodePtr first = mulExpr();
        if (!first || (m_tok.kind != Tok::Plus && m_tok.kind != Tok::Minus))
            return first;
        const ExprType t = first->type;
        uint64_t width = first->width;
        std::vector<char> ops{'+'};
        std::vector<NodePtr> operands;
        operands.push_back(std::move(first));
        while (m_tok.kind == Tok::Plus || m_tok.kind == Tok::Minus) {
            const bool plus = m_tok.kind == Tok::Plus;
            const size_t pos = m_tok.pos;
            if (!advance())
                return nullptr;
            NodePtr right = mulExpr();
            if (!right)
                return nullptr;
            const bool joinsTexts = plus && t == ExprType::Char && right->type == ExprType::Char;
            if (!joinsTexts && (t != ExprType::Numeric || right->type != ExprType::Numeric))
                return typeError(plus ? "+ needs two numbers or two texts" : "- needs numbers", pos);
            width += right->width;
            ops.push_back(plus ? '+' : '-');
            operands.push_back(std::move(right));
        }
        if (t == ExprType::Numeric)
            return make<Arithmetic>(std::move(ops), std::move(operands));
        if (width > kMaxTextWidth)
            return error("the text result would be " + std::to_string(width) + " bytes wide, more than "
                         + std::to_string(kMaxTextWidth));
        return make<Concat>(std::move(operands), static_cast<uint32_t>(width));
    }

    NodePtr mulExpr()
    {
        NodePtr first = unary();
        if (!first || !multiplicative(m_tok.kind))
            return first;
        std::vector<char> ops{'*'};
        std::vector<NodePtr> operands;
        operands.push_back(std::move(first));
        while (multiplicative(m_tok.kind)) {
            const char op = m_tok.kind == Tok::Star ? '*' : m_tok.kind == Tok::Slash ? '/' : '%';
            const size_t pos = m_tok.pos;
            if (!advance())
                return nullptr;
            NodePtr right = unary();
            if (!right)
                return nullptr;
            if (operands[0]->type != ExprType::Numeric || right->type != ExprType::Numeric)
                return typeError("arithmetic needs numbers", pos);
            ops.push_back(op);
            operands.push_back(std::move(right));
        }
        return make<Arithmetic>(std::move(ops), std::move(operands));
    }

    static bool multiplicative(Tok k) { return k == Tok::Star || k == Tok::Slash || k == Tok::Percent; }

    NodePtr unary()
    {
        if (m_tok.kind != Tok::Minus && m_tok.kind != Tok::Plus)
            return primary();
        Depth guard(m_depth);
        if (m_depth > kMaxDepth)
            return error("expression nested too deeply");
        const bool minus = m_tok.kind == Tok::Minus;
        const size_t pos = m_tok.pos;
        if (!advance())
            return nullptr;
        NodePtr operand = unary();
        if (!operand)
            return nullptr;
        if (operand->type != ExprType::Numeric)
            return typeError("a sign needs a number", pos);
        if (!minus)
            return operand;
        if (const double* v = operand->constantNumber())
            return make<NumberLiteral>(-*v);
        return make<Negate>(std::move(operand));
    }

    NodePtr primary()
    {
        Token t = m_tok;
        switch (t.kind) {
        case Tok::Number:
            if (!advance())
                return nullptr;
            return make<NumberLiteral>(t.number);
        case Tok::String:
            if (!advance())
                return nullptr;
            return make<TextLiteral>(t.text);
        case Tok::True:
        case Tok::False:
            if (!advance())
                return nullptr;
            return make<LogicalLiteral>(t.kind == Tok::True);
        case Tok::LParen: {
            if (!advance())
                return nullptr;
            NodePtr inner = orExpr();
            if (!inner)
                return nullptr;
            if (m_tok.kind != Tok::RParen)
                return error("missing ) at position " + std::to_string(m_tok.pos + 1));
            if (!advance())
                return nullptr;
            return inner;
        }
        case Tok::Ident:
            if (!advance())
                return nullptr;
            if (m_tok.kind == Tok::LParen)
                return call(t);
            return field(t);
        case Tok::End: return error("expression ends too early");
        default: return error("unexpected operator at position " + std::to_string(t.pos + 1));
        }
    }

    NodePtr field(const Token& t)
    {
        if (m_fields) {
            for (size_t i = 0; i < m_fields->size(); ++i) {
                const FieldDesc& f = (*m_fields)[i];
                if (!equalsNoCase(f.name, t.text))
                    continue;
                ++m_fieldRefs;
                m_lastField = static_cast<int>(i);
                switch (f.type) {
                case 'C': return make<TextField>(f.offset, f.width, ExprType::Char);
                case 'D': return make<TextField>(f.offset, f.width, f.width == 8 ? ExprType::Date : ExprType::Char);
                case 'N':
                case 'F': return make<NumericField>(f.offset, f.width);
                case 'I':
                    if (f.width == 4)
                        return make<IntegerField>(f.offset);
                    break;
                case 'L': return make<LogicalField>(f.offset);
                default: break;
                }
                return error("field " + f.name + " has a type expressions cannot use");
            }
        }
        return error("unknown field " + t.text + " at position " + std::to_string(t.pos + 1));
    }

    NodePtr call(const Token& name)
    {
        Depth guard(m_depth);
        if (m_depth > kMaxDepth)
            return error("expression nested too deeply");
        if (!advance())  // past "("
            return nullptr;
        std::vector<NodePtr> args;
        if (m_tok.kind != Tok::RParen) {
            for (;;) {
                NodePtr a = orExpr();
                if (!a)
                    return nullptr;
                args.push_back(std::move(a));
                if (m_tok.kind != Tok::Comma)
                    break;
                if (!advance())
                    return nullptr;
            }
        }
        if (m_tok.kind != Tok::RParen)
            return error("missing ) at position " + std::to_string(m_tok.pos + 1));
        if (!advance())
            return nullptr;
        return function(name, std::move(args));
    }

    NodePtr function(const Token& name, std::vector<NodePtr> args)
    {
        const std::string& n = name.text;
        auto arity = [&](size_t lo, size_t hi) { return args.size() >= lo && args.size() <= hi; };
        auto argType = [&](size_t i, ExprType t) { return i >= args.size() || args[i]->type == t; };
        auto bad = [&]() {
            return error("wrong arguments to " + n + "() at position " + std::to_string(name.pos + 1));
        };

        if (n == "DELETED" || n == "RECNO") {
            if (!args.empty())
                return bad();
            if (n == "DELETED")
                return make<DeletedFunc>();
            return make<RecNoFunc>();
        }
        Func f;
        ExprType result = ExprType::Char;
        if (n == "UPPER" || n == "LOWER" || n == "TRIM" || n == "RTRIM" || n == "LTRIM" || n == "ALLTRIM") {
            if (!arity(1, 1) || !argType(0, ExprType::Char))
                return bad();
            f = n == "UPPER"     ? Func::Upper
                : n == "LOWER"   ? Func::Lower
                : n == "LTRIM"   ? Func::LTrim
                : n == "ALLTRIM" ? Func::AllTrim
                                 : Func::Trim;
        } else if (n == "SUBSTR") {
            if (!arity(2, 3) || !argType(0, ExprType::Char) || !argType(1, ExprType::Numeric)
                || !argType(2, ExprType::Numeric))
                return bad();
            f = Func::Substr;
        } else if (n == "LEFT") {
            if (!arity(2, 2) || !argType(0, ExprType::Char) || !argType(1, ExprType::Numeric))
                return bad();
            f = Func::Left;
        } else if (n == "STR") {
            if (!arity(1, 3) || !argType(0, ExprType::Numeric) || !argType(1, ExprType::Numeric)
                || !argType(2, ExprType::Numeric))
                return bad();
            f = Func::Str;
        } else if (n == "VAL") {
            if (!arity(1, 1) || !argType(0, ExprType::Char))
                return bad();
            f = Func::Val;
            result = ExprType::Numeric;
        } else if (n == "DTOS") {
            if (!arity(1, 1) || !argType(0, ExprType::Date))
                return bad();
            f = Func::Dtos;
        } else if (n == "EMPTY") {
            if (!arity(1, 1))
                return bad();
            f = Func::Empty;
            result = ExprType::Logical;
        } else if (n == "IIF") {
            if (!arity(3, 3) || !argType(0, ExprType::Logical) || args[1]->type != args[2]->type)
                return bad();
            f = Func::Iif;
            result = args[1]->type;
        } else {
            return error("unknown function " + n + "() at position " + std::to_string(name.pos + 1));
        }
        const uint32_t w = widthOf(f, args);
        auto node = make<FuncCall>(f, std::move(args));
        node->type = result;
        node->width = w;
        return node;
    }

    static uint32_t constArg(const std::vector<NodePtr>& args, size_t i, uint32_t fallback)
    {
        if (i >= args.size())
            return fallback;
        const double* v = args[i]->constantNumber();
        if (!v || !(*v >= 0 && *v <= 255))
            return fallback;
        return static_cast<uint32_t>(*v);
    }

    static uint32_t widthOf(Func f, const std::vector<NodePtr>& args)
    {
        switch (f) {
        case Func::Str: return std::clamp<uint32_t>(constArg(args, 1, 10), 1, 255);
        case Func::Dtos: return 8;
        case Func::Left: return std::min(args[0]->width, constArg(args, 1, args[0]->width));
        case Func::Substr: return std::min(args[0]->width, constArg(args, 2, args[0]->width));
        case Func::Iif: return std::max(args[1]->width, args[2]->width);
        case Func::Val:
        case Func::Empty: return 0;
        default: return args[0]->width;
        }
    }

    template <typename T, typename... A> NodePtr make(A&&... a)
    {
        ++m_nodes;
        return NodePtr(new T(std::forward<A>(a)...));
    }

    Lexer m_lexer;
    const std::vector<FieldDesc>* m_fields;
    Token m_tok;
    std::string m_error;
    int m_depth = 0;
    int m_nodes = 0;
    int m_fieldRefs = 0;
    int m_lastField = -1;
};

}  // namespace

// ---------------------------------------------------------------------------

namespace {

// The expression as error messages quote it: a long one only by its beginning.
std::string quoted(std::string_view text)
{
    constexpr size_t kShown = 80;
    if (text.size() <= kShown)
        return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, kShown)) + "...\" (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

Status Expr::compile(std::string_view text, const std::vector<FieldDesc>* fields, std::unique_ptr<Expr>* out)
{
    out->reset();
    if (text.size() > kMaxLength)
        return Status::error(ErrorKind::BadExpression,
                             "Invalid expression " + quoted(text) + ": longer than " + std::to_string(kMaxLength)
                                 + " bytes");
    Parser parser(text, fields);
    std::string err;
    int plain = -1;
    NodePtr root = parser.parse(&err, &plain);
    if (!root)
        return Status::error(ErrorKind::BadExpression, "Invalid expression " + quoted(text) + ": " + err);
    std::unique_ptr<Expr> e(new Expr());
    e->m_type = root->type;
    e->m_width = root->width;
    e->m_plainField = plain;
    e->m_root = std::move(root);
    e->m_source.assign(text);
    *out = std::move(e);
    return Status();
}

Expr::~Expr() = default;

bool Expr::logical(const EvalContext& ctx) const
{
    return m_root->logical(ctx);
}

double Expr::numeric(const EvalContext& ctx) const
{
    return m_root->numeric(ctx);
}

std::string_view Expr::text(const EvalContext& ctx) const
{
    return m_root->text(ctx);
}

}  // namespace xb
