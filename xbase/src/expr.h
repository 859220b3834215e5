#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbffile.h"
#include "status.h"

namespace xb {

// Result types, numbered as sx_EvalTest reports them.
enum class ExprType { Invalid = 0, Char = 1, Numeric = 2, Logical = 3, Date = 4 };

// What an expression is evaluated against: one record image (deletion flag first).
struct EvalContext {
    const char* record = nullptr;
    uint32_t recNo = 0;
    bool exact = false;  // SET EXACT: how = and the orderings compare texts
};

struct ExprNode;

// A compiled xBase expression: field names, literals, relational, logical and
// arithmetic operators and a few functions (see doc/expressions.md). Compiling checks
// syntax and types against the table's fields; evaluating never fails.
class Expr {
public:
    // Sets *out, or fails with BadExpression (position and reason) when the text is not a
    // valid expression over these fields or is too large or too deeply nested to compile.
    // fields may be null (no table: constants only).
    static Status compile(std::string_view text, const std::vector<FieldDesc>* fields, std::unique_ptr<Expr>* out);
    ~Expr();
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;

    ExprType type() const { return m_type; }
    // Widest text a character (or date) result can have: the key length of an index on it.
    uint32_t width() const { return m_width; }
    const std::string& source() const { return m_source; }
    // Index of the field when the whole expression is one field name, else -1.
    int plainField() const { return m_plainField; }

    bool logical(const EvalContext& ctx) const;
    double numeric(const EvalContext& ctx) const;
    // Character and date results; the view stays valid until the next evaluation.
    std::string_view text(const EvalContext& ctx) const;

private:
    Expr() = default;
    std::unique_ptr<ExprNode> m_root;
    ExprType m_type = ExprType::Invalid;
    uint32_t m_width = 0;
    int m_plainField = -1;
    std::string m_source;
};

// Text comparison with SET EXACT OFF: the right operand's length decides how much of
// the left is compared ("abc" = "ab" is equal, "ab" = "abc" is not; "" equals anything).
int compareNonExact(std::string_view left, std::string_view right);
// Text comparison with SET EXACT ON: trailing blanks ignored, the shorter padded.
int compareExact(std::string_view left, std::string_view right);

}  // namespace xb
