#include "frexpression.h"

#include <cmath>
#include <vector>

#include <QRegularExpression>

namespace emlo::print {

using namespace Qt::StringLiterals;

struct TfrExpression::Node {
    enum class Kind { Constant, Field, Name, Call, Negate, Not, Binary };

    Kind kind = Kind::Constant;
    TfrValue constant;
    QString name;   // data set, bare name, function or operator
    QString field;  // field of a data set
    std::vector<std::shared_ptr<const Node>> args;
};

namespace {

using Node = TfrExpression::Node;
using NodePtr = std::shared_ptr<const Node>;

enum class Tok { End, Number, String, QuotedName, Ident, Op };

struct Token {
    Tok kind = Tok::End;
    QString text;
    double number = 0;
    qsizetype pos = 0;
};

bool isIdentStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'#';
}

[[noreturn]] void fail(const QString& source, const QString& why)
{
    throw TfrError(u"Помилка у виразі \"%1\": %2"_s.arg(source, why));
}

class Lexer {
public:
    explicit Lexer(const QString& src) : m_src(src) { }

    std::vector<Token> run()
    {
        std::vector<Token> out;
        for (;;) {
            skipBlanks();
            Token t;
            t.pos = m_pos;
            if (m_pos >= m_src.size()) {
                out.push_back(t);
                return out;
            }
            const QChar c = m_src[m_pos];
            if (c.isDigit())
                t = number();
            else if (c == u'\'')
                t = quoted(u'\'', Tok::String);
            else if (c == u'"')
                t = quoted(u'"', Tok::QuotedName);
            else if (isIdentStart(c))
                t = ident();
            else
                t = op();
            out.push_back(t);
        }
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_src.size() && m_src[m_pos].isSpace())
            ++m_pos;
    }

    Token number()
    {
        Token t{Tok::Number, {}, 0, m_pos};
        const qsizetype start = m_pos;
        while (m_pos < m_src.size() && m_src[m_pos].isDigit())
            ++m_pos;
        if (m_pos + 1 < m_src.size() && m_src[m_pos] == u'.' && m_src[m_pos + 1].isDigit()) {
            ++m_pos;
            while (m_pos < m_src.size() && m_src[m_pos].isDigit())
                ++m_pos;
        }
        t.text = m_src.mid(start, m_pos - start);
        t.number = t.text.toDouble();
        return t;
    }

    // A quote inside is written twice, as in Pascal.
    Token quoted(QChar quote, Tok kind)
    {
        Token t{kind, {}, 0, m_pos};
        ++m_pos;
        for (;;) {
            if (m_pos >= m_src.size())
                fail(m_src, u"незакрита лапка"_s);
            if (m_src[m_pos] == quote) {
                if (m_pos + 1 < m_src.size() && m_src[m_pos + 1] == quote) {
                    t.text += quote;
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                return t;
            }
            t.text += m_src[m_pos++];
        }
    }

    Token ident()
    {
        Token t{Tok::Ident, {}, 0, m_pos};
        const qsizetype start = m_pos;
        while (m_pos < m_src.size() && isIdentChar(m_src[m_pos]))
            ++m_pos;
        t.text = m_src.mid(start, m_pos - start);
        return t;
    }

    Token op()
    {
        Token t{Tok::Op, {}, 0, m_pos};
        static const QString twoChar[] = {u":="_s, u"<="_s, u">="_s, u"<>"_s};
        for (const QString& two : twoChar) {
            if (m_src.mid(m_pos, 2) == two) {
                t.text = two;
                m_pos += 2;
                return t;
            }
        }
        const QChar c = m_src[m_pos];
        if (!QStringView(u"+-*/()[],.<>=;").contains(c))
            fail(m_src, u"незрозумілий знак '%1'"_s.arg(c));
        t.text = QString(c);
        ++m_pos;
        return t;
    }

    const QString& m_src;
    qsizetype m_pos = 0;
};

class Parser {
public:
    explicit Parser(const QString& src) : m_src(src), m_tokens(Lexer(src).run()) { }

    NodePtr expressionToEnd()
    {
        NodePtr n = expression();
        if (peek().kind != Tok::End)
            fail(m_src, u"зайвий текст після виразу"_s);
        return n;
    }

    bool atEnd() const { return peek().kind == Tok::End; }
    bool acceptOp(const QString& op)
    {
        if (peek().kind == Tok::Op && peek().text == op) {
            ++m_at;
            return true;
        }
        return false;
    }
    QString expectIdent()
    {
        if (peek().kind != Tok::Ident)
            fail(m_src, u"очікується ім'я змінної"_s);
        return m_tokens[m_at++].text;
    }
    void expectOp(const QString& op)
    {
        if (!acceptOp(op))
            fail(m_src, u"очікується '%1'"_s.arg(op));
    }

    NodePtr expression() { return orExpr(); }

private:
    const Token& peek() const { return m_tokens[m_at]; }

    bool acceptWord(const char16_t* word)
    {
        if (peek().kind == Tok::Ident && peek().text.compare(QStringView(word), Qt::CaseInsensitive) == 0) {
            ++m_at;
            return true;
        }
        return false;
    }

    static NodePtr binary(const QString& op, NodePtr a, NodePtr b)
    {
        auto n = std::make_shared<Node>();
        n->kind = Node::Kind::Binary;
        n->name = op;
        n->args = {std::move(a), std::move(b)};
        return n;
    }

    NodePtr orExpr()
    {
        NodePtr left = andExpr();
        while (acceptWord(u"or"))
            left = binary(u"or"_s, left, andExpr());
        return left;
    }

    NodePtr andExpr()
    {
        NodePtr left = comparison();
        while (acceptWord(u"and"))
            left = binary(u"and"_s, left, comparison());
        return left;
    }

    NodePtr comparison()
    {
        NodePtr left = additive();
        for (const QString& op : {u"<="_s, u">="_s, u"<>"_s, u"<"_s, u">"_s, u"="_s}) {
            if (acceptOp(op))
                return binary(op, left, additive());
        }
        return left;
    }

    NodePtr additive()
    {
        NodePtr left = multiplicative();
        for (;;) {
            if (acceptOp(u"+"_s))
                left = binary(u"+"_s, left, multiplicative());
            else if (acceptOp(u"-"_s))
                left = binary(u"-"_s, left, multiplicative());
            else
                return left;
        }
    }

    NodePtr multiplicative()
    {
        NodePtr left = unary();
        for (;;) {
            if (acceptOp(u"*"_s))
                left = binary(u"*"_s, left, unary());
            else if (acceptOp(u"/"_s))
                left = binary(u"/"_s, left, unary());
            else
                return left;
        }
    }

    NodePtr unary()
    {
        if (acceptOp(u"-"_s)) {
            auto n = std::make_shared<Node>();
            n->kind = Node::Kind::Negate;
            n->args = {unary()};
            return n;
        }
        if (acceptWord(u"not")) {
            auto n = std::make_shared<Node>();
            n->kind = Node::Kind::Not;
            n->args = {unary()};
            return n;
        }
        return primary();
    }

    NodePtr primary()
    {
        const Token t = peek();
        auto n = std::make_shared<Node>();
        switch (t.kind) {
        case Tok::Number:
            ++m_at;
            n->constant = TfrValue::fromNumber(t.number);
            return n;
        case Tok::String:
            ++m_at;
            n->constant = TfrValue::fromText(t.text);
            return n;
        case Tok::Ident: ++m_at; return named(t.text);
        case Tok::Op:
            if (acceptOp(u"("_s)) {
                NodePtr inner = expression();
                expectOp(u")"_s);
                return inner;
            }
            if (acceptOp(u"["_s)) {
                NodePtr inner = expression();
                expectOp(u"]"_s);
                return inner;
            }
            break;
        case Tok::QuotedName:
        case Tok::End: break;
        }
        fail(m_src, t.kind == Tok::End ? u"неочікуваний кінець"_s : u"неочікуване '%1'"_s.arg(t.text));
    }

    NodePtr named(const QString& name)
    {
        auto n = std::make_shared<Node>();
        if (acceptOp(u"."_s)) {
            const Token f = peek();
            if (f.kind != Tok::QuotedName && f.kind != Tok::Ident)
                fail(m_src, u"очікується ім'я поля після '%1.'"_s.arg(name));
            ++m_at;
            n->kind = Node::Kind::Field;
            n->name = name;
            n->field = f.text;
            return n;
        }
        if (acceptOp(u"("_s)) {
            n->kind = Node::Kind::Call;
            n->name = name.toUpper();
            if (!acceptOp(u")"_s)) {
                do {
                    n->args.push_back(expression());
                } while (acceptOp(u","_s));
                expectOp(u")"_s);
            }
            checkCall(*n);
            return n;
        }
        n->kind = Node::Kind::Name;
        n->name = name;
        return n;
    }

    void checkCall(const Node& n) const
    {
        struct Arity {
            const char16_t* name;
            std::size_t count;
        };
        static const Arity known[] = {{u"IF", 3},      {u"LENGTH", 1}, {u"COPY", 3}, {u"DAYOF", 1},
                                      {u"MONTHOF", 1}, {u"YEAROF", 1}, {u"DATE", 0}};
        for (const Arity& a : known) {
            if (n.name == QStringView(a.name)) {
                if (n.args.size() != a.count)
                    fail(m_src, u"функція %1 чекає %2 аргументів"_s.arg(n.name).arg(a.count));
                return;
            }
        }
        fail(m_src, u"невідома функція %1"_s.arg(n.name));
    }

    const QString& m_src;
    std::vector<Token> m_tokens;
    std::size_t m_at = 0;
};

class Evaluator {
public:
    Evaluator(TfrEvalContext& ctx, const QString& source) : m_ctx(ctx), m_src(source) { }

    TfrValue eval(const Node& n)
    {
        switch (n.kind) {
        case Node::Kind::Constant: return n.constant;
        case Node::Kind::Field: return m_ctx.FieldValue(n.name, n.field);
        case Node::Kind::Name:
            if (n.name.compare(u"DATE"_s, Qt::CaseInsensitive) == 0)
                return call(n);
            return m_ctx.NameValue(n.name);
        case Node::Kind::Call: return call(n);
        case Node::Kind::Negate: return TfrValue::fromNumber(-number(eval(*n.args[0])));
        case Node::Kind::Not: return TfrValue::fromBool(!truth(eval(*n.args[0])));
        case Node::Kind::Binary: return binary(n);
        }
        return {};
    }

private:
    QString text(const TfrValue& v) const { return ValueToText(v, {}, m_ctx.Locale()); }

    double number(const TfrValue& v) const
    {
        switch (v.kind) {
        case TfrValue::Kind::Number: return v.number;
        case TfrValue::Kind::Bool: return v.flag ? 1 : 0;
        case TfrValue::Kind::Text: {
            bool ok = false;
            const double d = m_ctx.Locale().toDouble(v.text.trimmed(), &ok);
            if (ok)
                return d;
            const double c = v.text.trimmed().toDouble(&ok);
            if (ok)
                return c;
            break;
        }
        case TfrValue::Kind::Date: break;
        }
        fail(m_src, u"значення \"%1\" не є числом"_s.arg(text(v)));
    }

    bool truth(const TfrValue& v) const
    {
        if (v.kind == TfrValue::Kind::Bool)
            return v.flag;
        return number(v) != 0;
    }

    QDate date(const TfrValue& v) const
    {
        if (v.kind != TfrValue::Kind::Date)
            fail(m_src, u"значення \"%1\" не є датою"_s.arg(text(v)));
        return v.date;
    }

    TfrValue call(const Node& n)
    {
        const QString f = n.name.toUpper();
        if (f == u"DATE")
            return TfrValue::fromDate(m_ctx.NameValue(u"DATE"_s).date);
        if (f == u"IF")
            return truth(eval(*n.args[0])) ? eval(*n.args[1]) : eval(*n.args[2]);
        if (f == u"LENGTH")
            return TfrValue::fromNumber(double(text(eval(*n.args[0])).size()));
        if (f == u"COPY")
            return copy(text(eval(*n.args[0])), number(eval(*n.args[1])), number(eval(*n.args[2])));
        if (f == u"DAYOF")
            return TfrValue::fromNumber(date(eval(*n.args[0])).day());
        if (f == u"MONTHOF")
            return TfrValue::fromNumber(date(eval(*n.args[0])).month());
        if (f == u"YEAROF")
            return TfrValue::fromNumber(date(eval(*n.args[0])).year());
        fail(m_src, u"невідома функція %1"_s.arg(f));
    }

    // COPY counts from 1; a start before the text counts from its first
    // character, a count past its end stops there.
    static TfrValue copy(const QString& s, double from, double count)
    {
        const qsizetype start = qMax<qsizetype>(qsizetype(std::floor(from)) - 1, 0);
        const qsizetype n = qMax<qsizetype>(qsizetype(std::floor(count)), 0);
        return TfrValue::fromText(s.mid(start, n));
    }

    TfrValue binary(const Node& n)
    {
        const QString& op = n.name;
        if (op == u"and")
            return TfrValue::fromBool(truth(eval(*n.args[0])) && truth(eval(*n.args[1])));
        if (op == u"or")
            return TfrValue::fromBool(truth(eval(*n.args[0])) || truth(eval(*n.args[1])));

        const TfrValue a = eval(*n.args[0]);
        const TfrValue b = eval(*n.args[1]);
        if (op == u"+") {
            if (a.kind == TfrValue::Kind::Text || b.kind == TfrValue::Kind::Text)
                return TfrValue::fromText(text(a) + text(b));
            return TfrValue::fromNumber(number(a) + number(b));
        }
        if (op == u"-")
            return TfrValue::fromNumber(number(a) - number(b));
        if (op == u"*")
            return TfrValue::fromNumber(number(a) * number(b));
        if (op == u"/") {
            const double d = number(b);
            if (d == 0)
                fail(m_src, u"ділення на нуль"_s);
            return TfrValue::fromNumber(number(a) / d);
        }
        return TfrValue::fromBool(compare(op, a, b));
    }

    bool compare(const QString& op, const TfrValue& a, const TfrValue& b) const
    {
        int c = 0;
        if (a.kind == TfrValue::Kind::Text && b.kind == TfrValue::Kind::Text) {
            c = a.text.compare(b.text);
        } else if (a.kind == TfrValue::Kind::Date && b.kind == TfrValue::Kind::Date) {
            c = a.date < b.date ? -1 : (b.date < a.date ? 1 : 0);
        } else {
            const double x = number(a);
            const double y = number(b);
            c = x < y ? -1 : (y < x ? 1 : 0);
        }
        if (op == u"=")
            return c == 0;
        if (op == u"<>")
            return c != 0;
        if (op == u"<")
            return c < 0;
        if (op == u">")
            return c > 0;
        if (op == u"<=")
            return c <= 0;
        return c >= 0;
    }

    TfrEvalContext& m_ctx;
    const QString& m_src;
};

}  // namespace

TfrExpression TfrExpression::Parse(const QString& source)
{
    TfrExpression e;
    e.m_source = source;
    e.m_root = Parser(source).expressionToEnd();
    return e;
}

TfrValue TfrExpression::Evaluate(TfrEvalContext& ctx) const
{
    return Evaluator(ctx, m_source).eval(*m_root);
}

TfrScript TfrScript::Parse(const QString& source)
{
    TfrScript script;
    const QStringList lines = source.split(QRegularExpression(u"[;\\n]"_s), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QString stmt = line.trimmed();
        if (stmt.isEmpty())
            continue;
        const qsizetype assign = stmt.indexOf(u":="_s);
        if (assign <= 0)
            fail(stmt, u"очікується присвоєння \"ім'я := вираз\""_s);
        const QString name = stmt.left(assign).trimmed();
        for (const QChar c : name) {
            if (!isIdentChar(c))
                fail(stmt, u"недопустиме ім'я змінної"_s);
        }
        script.m_statements.append({name, TfrExpression::Parse(stmt.mid(assign + 2).trimmed())});
    }
    return script;
}

void TfrScript::Run(TfrEvalContext& ctx) const
{
    for (const Statement& s : m_statements)
        ctx.SetVariable(s.variable, s.value.Evaluate(ctx));
}

TfrTextTemplate TfrTextTemplate::Parse(const QString& text, bool plain)
{
    TfrTextTemplate t;
    if (plain) {
        t.parts.append({text, std::nullopt});
        return t;
    }
    QString literal;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] != u'[') {
            literal += text[i++];
            continue;
        }
        // Find the matching bracket; brackets inside quotes do not count.
        int depth = 0;
        QChar quote;
        qsizetype j = i;
        for (; j < text.size(); ++j) {
            const QChar c = text[j];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'\'' || c == u'"') {
                quote = c;
            } else if (c == u'[') {
                ++depth;
            } else if (c == u']' && --depth == 0) {
                break;
            }
        }
        if (j >= text.size())
            throw TfrError(u"Незакрита дужка '[' у тексті \"%1\""_s.arg(text));
        if (!literal.isEmpty())
            t.parts.append({literal, std::nullopt});
        literal.clear();
        t.parts.append({QString(), TfrExpression::Parse(text.mid(i + 1, j - i - 1))});
        i = j + 1;
    }
    if (!literal.isEmpty())
        t.parts.append({literal, std::nullopt});
    return t;
}

}  // namespace emlo::print
