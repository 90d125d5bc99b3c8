// Variable substitution and splitting of a command line into tokens.
#pragma once

#include <cstddef>
#include <string>

#include "partshell/local_environment.h"
#include "partshell/shell.h"

namespace partshell {

// Replaces %NAME% by the variable's value (case ignored), "%%" by "%";
// names that are not set stay as written. The result is cut at
// capacity - 1 characters.
void ExpandVariables(std::string& line, std::size_t capacity, const LocalEnvironment& env);

// Splits at white space; at most 21 tokens, the 21st ends at its first
// white space and the rest of the line is dropped. Quotes are ordinary.
TokenList SplitTokens(const std::string& line);

// True for lines that run nothing: labels, ";" comments and REM.
bool IsCommentToken(const std::string& firstToken);

// Leading blanks, tabs, carriage returns and line feeds of text at both ends removed.
std::string TrimWhite(const std::string& text);
// Reads like the C library's decimal conversion: white space, sign, digits;
// anything else reads as 0. Values beyond 32 bits saturate.
int DecimalValue(const std::string& text);
// False for a number (its leading digits, as DecimalValue reads them) that a
// 32-bit signed integer cannot hold, which DecimalValue would clamp.
bool DecimalInRange(const std::string& text);

}  // namespace partshell
