#pragma once

#include <QLocale>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

#include "frvalue.h"

namespace emlo::print {

/// What an expression sees while it is evaluated: the fields of the data
/// sets, the report's own names (LINE#, PAGE#, TOTALPAGES, DATE) and its
/// variables. The engine implements it; tests may supply their own.
class TfrEvalContext {
public:
    virtual ~TfrEvalContext() = default;
    /// The value of a field of the named data set's current record; throws
    /// TfrError for an unknown data set or field.
    virtual TfrValue FieldValue(const QString& dataSet, const QString& field) = 0;
    /// The value of a bare name; throws TfrError for an unknown one.
    virtual TfrValue NameValue(const QString& name) = 0;
    /// Sets a variable of the report (a script's assignment); throws TfrError
    /// for a name that is no variable.
    virtual void SetVariable(const QString& name, const TfrValue& value) = 0;
    /// The locale numbers follow when an expression turns them into text.
    virtual QLocale Locale() const = 0;
};

/// One parsed expression of a box text, such as
/// IF(LENGTH([tblAttr."SPODU_D"])<60, [tblAttr."SPODU_D"], [COPY([tblAttr."SPODU_D"], 1, 60)+'...']).
/// Square brackets inside an expression group like parentheses. Functions:
/// IF, LENGTH, COPY, DAYOF, MONTHOF, YEAROF; DATE is today. Operators:
/// + - * /, comparisons = <> < > <= >=, and, or, not. Copies share the tree.
class TfrExpression {
public:
    struct Node;

    /// Parses the source; throws TfrError naming the source when it is malformed.
    static TfrExpression Parse(const QString& source);

    TfrValue Evaluate(TfrEvalContext& ctx) const;
    const QString& source() const { return m_source; }

private:
    QString m_source;
    std::shared_ptr<const Node> m_root;
};

/// The script of a box: assignments "Name := expression", separated by ';'
/// or line breaks, run just before the box is printed.
class TfrScript {
public:
    static TfrScript Parse(const QString& source);
    void Run(TfrEvalContext& ctx) const;
    bool isEmpty() const { return m_statements.isEmpty(); }

private:
    struct Statement {
        QString variable;
        TfrExpression value;
    };
    QVector<Statement> m_statements;
};

/// A box text split into literal runs and bracketed expressions:
/// "   [tblAttr.\"ENNAME\"] / [tblAttr.\"EDRPOU\"]" has four parts.
struct TfrTextTemplate {
    struct Part {
        QString literal;
        std::optional<TfrExpression> expression;
    };

    /// Splits the text; a plain text is one literal. Throws TfrError for an
    /// unclosed '[' or a malformed expression.
    static TfrTextTemplate Parse(const QString& text, bool plain);

    QVector<Part> parts;
};

}  // namespace emlo::print
