// The parser's cursor over the tokens of one line: looking ahead, taking
// tokens, the first error found, and the nesting depth that keeps the
// recursion bounded. The expression and line parsers build on it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/language/lexer.h"
#include "console/language/parser.h"

namespace console {

class TokenCursor {
public:
    // `tokens` ends with an End token and outlives the cursor.
    TokenCursor(const std::vector<Token>& tokens, int lineNumber)
        : tokens_(tokens), lineNumber_(lineNumber) {}

    const SyntaxError& error() const { return error_; }

protected:
    const Token& Peek() const { return PeekAt(0); }

    const Token& PeekAt(size_t ahead) const {
        const size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }

    const Token& Next() {
        const Token& token = Peek();
        if (pos_ + 1 < tokens_.size()) {
            ++pos_;
        }
        return token;
    }

    static bool IsWord(const Token& token, const char* word) {
        return token.kind == TokenKind::Identifier && SameName(token.text, word);
    }

    bool Fail(int column, std::string message) {
        if (error_.message.empty()) {
            error_ = {column, std::move(message)};
        }
        return false;
    }

    static std::string Describe(const Token& token) {
        switch (token.kind) {
            case TokenKind::End:
                return "end of line";
            case TokenKind::String:
                return "string \"" + token.text + "\"";
            case TokenKind::Symbol:
                return "#" + token.text;
            default:
                return "'" + token.text + "'";
        }
    }

    bool Expect(TokenKind kind, const char* what) {
        if (Peek().kind != kind) {
            return Fail(Peek().column,
                        std::string("expected ") + what + ", found " + Describe(Peek()));
        }
        Next();
        return true;
    }

    bool ExpectWord(const char* word) {
        if (!IsWord(Peek(), word)) {
            return Fail(Peek().column,
                        std::string("expected '") + word + "', found " + Describe(Peek()));
        }
        Next();
        return true;
    }

    bool ExpectEnd() {
        if (Peek().kind != TokenKind::End) {
            return Fail(Peek().column, "unexpected " + Describe(Peek()) + " after the statement");
        }
        return true;
    }

    // A name that a script may give to a variable, a parameter or a handler.
    bool ExpectName(const char* what, std::string* name) {
        const Token& token = Peek();
        if (token.kind != TokenKind::Identifier) {
            return Fail(token.column,
                        std::string("expected ") + what + ", found " + Describe(token));
        }
        if (IsReservedWord(token.text)) {
            return Fail(token.column,
                        "'" + token.text + "' is a word of the language, not " + std::string(what));
        }
        *name = Next().text;
        return true;
    }

    // One level deeper; false (an error) beyond the limit. Leave goes back up.
    bool Enter() {
        if (depth_ >= kMaxNesting) {
            return Fail(Peek().column,
                        "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
        }
        ++depth_;
        return true;
    }
    void Leave() { --depth_; }

    const std::vector<Token>& tokens_;
    int lineNumber_;
    size_t pos_ = 0;
    int depth_ = 0;
    SyntaxError error_;
};

}  // namespace console
