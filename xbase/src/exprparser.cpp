#include "exprparser.h"

#include "exprlexer.h"

namespace xb {

namespace {

// ---------------------------------------------------------------------------
// Parser

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

NodePtr parseExpression(std::string_view text, const std::vector<FieldDesc>* fields, std::string* error,
                        int* plainField)
{
    Parser parser(text, fields);
    return parser.parse(error, plainField);
}

}  // namespace xb
