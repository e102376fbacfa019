#include "console/language/lexer.h"

#include <cctype>
#include <cstdlib>

namespace console {
namespace {

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

struct Operator {
    const char* text;
    TokenKind kind;
};

// Two-character operators before their one-character beginnings.
constexpr Operator kOperators[] = {
    {"<=", TokenKind::LessEqual},  {">=", TokenKind::GreaterEqual},
    {"<>", TokenKind::NotEqual},   {"&&", TokenKind::DoubleAmpersand},
    {"(", TokenKind::LeftParen},   {")", TokenKind::RightParen},
    {"[", TokenKind::LeftBracket}, {"]", TokenKind::RightBracket},
    {",", TokenKind::Comma},       {":", TokenKind::Colon},
    {"=", TokenKind::Equals},      {"-", TokenKind::Minus},
    {"+", TokenKind::Plus},        {"*", TokenKind::Star},
    {"/", TokenKind::Slash},       {"<", TokenKind::Less},
    {">", TokenKind::Greater},     {"&", TokenKind::Ampersand},
    {".", TokenKind::Dot},
};

const Operator* FindOperator(std::string_view rest) {
    for (const Operator& op : kOperators) {
        if (rest.substr(0, std::string_view(op.text).size()) == op.text) {
            return &op;
        }
    }
    return nullptr;
}

}  // namespace

std::string StatementText(std::string_view line) {
    bool inString = false;
    size_t end = line.size();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            inString = !inString;
        } else if (!inString && line[i] == '-' && i + 1 < line.size() && line[i + 1] == '-') {
            end = i;
            break;
        }
    }
    const std::string_view text = line.substr(0, end);
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

bool Lex(std::string_view line, std::vector<Token>* tokens, LexError* error) {
    tokens->clear();
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        const int column = static_cast<int>(i) + 1;
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') {
            break;
        }
        Token token{TokenKind::End, {}, 0, 0, column};
        if (IsNameStart(c)) {
            size_t end = i + 1;
            while (end < line.size() && IsNameChar(line[end])) {
                ++end;
            }
            token.kind = TokenKind::Identifier;
            token.text = std::string(line.substr(i, end - i));
            i = end;
        } else if (c == '#') {
            size_t end = i + 1;
            if (end >= line.size() || !IsNameStart(line[end])) {
                *error = {column, "a symbol needs a name after '#'"};
                return false;
            }
            while (end < line.size() && IsNameChar(line[end])) {
                ++end;
            }
            token.kind = TokenKind::Symbol;
            token.text = std::string(line.substr(i + 1, end - i - 1));
            i = end;
        } else if (IsDigit(c) || (c == '.' && i + 1 < line.size() && IsDigit(line[i + 1]))) {
            size_t end = i;
            while (end < line.size() && IsDigit(line[end])) {
                ++end;
            }
            bool isFloat = false;
            if (end < line.size() && line[end] == '.') {
                isFloat = true;
                ++end;
                while (end < line.size() && IsDigit(line[end])) {
                    ++end;
                }
            }
            if (end < line.size() && IsNameChar(line[end])) {
                *error = {column, "malformed number"};
                return false;
            }
            token.text = std::string(line.substr(i, end - i));
            if (isFloat) {
                token.kind = TokenKind::Float;
                token.real = std::strtod(token.text.c_str(), nullptr);
            } else {
                // More than 10 digits (leading zeros aside) cannot be an
                // integer anyway; keep the value from overflowing and let the
                // parser report the range.
                const size_t first = token.text.find_first_not_of('0');
                const size_t digits = first == std::string::npos ? 0 : token.text.size() - first;
                token.kind = TokenKind::Integer;
                token.integer =
                    digits > 10 ? INT64_MAX : std::strtoll(token.text.c_str(), nullptr, 10);
            }
            i = end;
        } else if (c == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                *error = {column, "string is not closed"};
                return false;
            }
            token.kind = TokenKind::String;
            token.text = std::string(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (const Operator* op = FindOperator(line.substr(i))) {
            token.kind = op->kind;
            token.text = op->text;
            i += token.text.size();
        } else {
            *error = {column, std::string("unexpected character '") + c + "'"};
            return false;
        }
        tokens->push_back(std::move(token));
    }
    tokens->push_back(Token{TokenKind::End, {}, 0, 0, static_cast<int>(line.size()) + 1});
    return true;
}

}  // namespace console
