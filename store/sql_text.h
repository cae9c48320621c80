// Writing values into composed SQL text.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// The text as an SQL string literal: between single quotes, each single
// quote inside doubled ("O'NEIL" becomes 'O''NEIL').
std::string SqlLiteral(std::string_view text);

}  // namespace tav
