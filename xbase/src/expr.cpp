#include "expr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "exprparser.h"

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
    std::string err;
    int plain = -1;
    NodePtr root = parseExpression(text, fields, &err, &plain);
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
