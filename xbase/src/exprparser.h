#pragma once

// The expression parser: text to a tree of nodes, checked against the
// table's fields, within bounds on size and depth.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exprnodes.h"

namespace xb {

// Bounds that keep hostile or generated input from exhausting the stack or memory.
// Parsing, evaluating and freeing recurse once per tree level; chains being single
// nodes, a nesting level (parentheses, a call, a sign, .NOT.) adds at most a handful of
// levels, so bounding the nesting bounds the tree's depth. Every node takes at least
// one byte of text, so bounding the text bounds the node count.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxLength = size_t{1} << 20;
constexpr uint64_t kMaxTextWidth = uint64_t{1} << 20;  // a text result's buffer

// The tree of text, or null with the reason in *error. *plainField is the
// field's index when the whole expression is one field name, else -1.
NodePtr parseExpression(std::string_view text, const std::vector<FieldDesc>* fields, std::string* error,
                        int* plainField);

}  // namespace xb
