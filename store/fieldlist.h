#pragma once

// The fields of a table: those defined before Open, or one made for each
// column the file reports, and their binding to the file's columns.

#include <memory>
#include <vector>

#include <QString>

#include "store/fields.h"

namespace emlo {

class RecordCodec;

class FieldList {
public:
    // A field defined before Open (the list owns it).
    TField* define(std::unique_ptr<TField> field);
    // The bound fields while open, else the defined ones.
    int count() const;
    TField* at(int index) const;              // nullptr outside
    TField* find(const QString& name) const;  // case-insensitive; nullptr when absent
    const std::vector<TField*>& bound() const { return m_fields; }

    // Binds the defined fields to their columns, or, with none defined, makes
    // a field for each column of a known kind. Raises EDatabaseError for a
    // defined data field that is missing or of another kind.
    void bind(TApolloTable* table, const RecordCodec& codec);
    // Forgets the binding and the fields made for the columns.
    void unbind();

private:
    std::vector<std::unique_ptr<TField>> m_defined;
    std::vector<std::unique_ptr<TField>> m_made;
    std::vector<TField*> m_fields;
};

}  // namespace emlo
