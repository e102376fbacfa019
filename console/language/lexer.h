// Tokens of the console's script language. One line is lexed at a time:
// statements never span lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/names.h"

namespace console {

enum class TokenKind {
    Identifier,  // names, keywords included (matched without regard to case)
    Integer,
    Float,
    String,
    Symbol,  // #name; text holds the name without '#'
    LeftParen,
    RightParen,
    LeftBracket,
    RightBracket,
    Comma,
    Colon,
    Equals,
    Minus,
    Plus,
    Star,
    Slash,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    NotEqual,         // <>
    Ampersand,        // &
    DoubleAmpersand,  // &&
    Dot,
    End,
};

struct Token {
    TokenKind kind;
    std::string text;
    int64_t integer = 0;  // Integer: the literal's value (may exceed 32 bits)
    double real = 0;      // Float
    int column;           // 1-based
};

struct LexError {
    int column = 0;
    std::string message;
};

// Splits `line` into tokens ending with End. A `--` outside a string ends the
// line. False with *error filled on a bad character or an unclosed string.
bool Lex(std::string_view line, std::vector<Token>* tokens, LexError* error);

// The line without its comment and the spaces around: what --echo shows.
// Empty for a blank or comment-only line.
std::string StatementText(std::string_view line);

// Names compare as the host's language compares them: without case.
using hostsim::SameName;

}  // namespace console
