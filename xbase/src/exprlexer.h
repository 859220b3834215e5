#pragma once

// The tokens of the expression language and the lexer that makes them.

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "bytes.h"

namespace xb {

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

}  // namespace xb
