#include "console/language/parser.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "console/language/lexer.h"
#include "console/language/statement_parser.h"

namespace console {

namespace {

// Recursive descent over the tokens of one line: the line's kind and its
// statements; expressions through the expression parser. Every method
// returns null or false after recording the first error.
class LineParser : public StatementParser {
public:
    using StatementParser::StatementParser;
    using TokenCursor::error;

    bool ParseLine(Line* line, bool inCase) {
        const Token& first = Peek();
        line->column = first.column;
        Statement& statement = line->statement;
        statement.line = lineNumber_;
        statement.column = first.column;
        if (first.kind == TokenKind::End) {
            return true;
        }
        if (inCase) {
            bool isCaseLine = false;
            if (!ParseCaseLine(line, &isCaseLine) || isCaseLine) {
                return isCaseLine && error_.message.empty();
            }
        }
        if (IsWord(first, "case")) {
            Next();
            line->kind = LineKind::CaseStart;
            return ParseCaseHead(&statement);
        }
        if (IsWord(first, "on")) {
            Next();
            line->kind = LineKind::HandlerStart;
            return ParseHandlerHeader(&line->handler) && ExpectEnd();
        }
        if (IsWord(first, "end")) {
            Next();
            line->kind = LineKind::End;
            if (Peek().kind == TokenKind::Identifier) {
                line->word = Next().text;
            }
            return ExpectEnd();
        }
        if (IsWord(first, "if")) {
            Next();
            if (!ParseIfHead(&statement)) {
                return false;
            }
            if (Peek().kind == TokenKind::End) {
                line->kind = LineKind::IfStart;
                return true;
            }
            return ParseIfTail(&statement) && ExpectEnd();
        }
        if (IsWord(first, "else")) {
            Next();
            if (Peek().kind == TokenKind::End) {
                line->kind = LineKind::Else;
                return true;
            }
            if (IsWord(Peek(), "if")) {
                statement.column = Next().column;
                if (!ParseIfHead(&statement)) {
                    return false;
                }
                if (Peek().kind == TokenKind::End) {
                    line->kind = LineKind::ElseIfStart;
                    return true;
                }
                line->kind = LineKind::ElseIf;
                return ParseIfTail(&statement) && ExpectEnd();
            }
            line->kind = LineKind::ElseLine;
            statement.column = Peek().column;
            return ParseSimple(&statement) && ExpectEnd();
        }
        if (IsWord(first, "repeat")) {
            Next();
            line->kind = LineKind::RepeatStart;
            return ParseRepeatHead(&statement) && ExpectEnd();
        }
        return ParseSimple(&statement) && ExpectEnd();
    }

    bool ParseHandlerHeader(Handler* handler) {
        handler->line = lineNumber_;
        if (!ExpectName("a handler name", &handler->name)) {
            return false;
        }
        if (Peek().kind == TokenKind::End) {
            return true;
        }
        while (true) {
            std::string param;
            if (!ExpectName("a parameter name", &param)) {
                return false;
            }
            handler->params.push_back(param);
            if (Peek().kind != TokenKind::Comma) {
                return true;
            }
            Next();
        }
    }

    bool ParseRepeatHead(Statement* statement) {
        if (IsWord(Peek(), "while")) {
            Next();
            statement->kind = StatementKind::RepeatWhile;
            statement->value = ParseExpr();
            return statement->value != nullptr;
        }
        if (!IsWord(Peek(), "with")) {
            return Fail(Peek().column,
                        "expected 'while' or 'with' after 'repeat', found " + Describe(Peek()));
        }
        Next();
        if (!ExpectName("a variable name", &statement->target)) {
            return false;
        }
        if (IsWord(Peek(), "in")) {
            Next();
            statement->kind = StatementKind::RepeatIn;
            statement->value = ParseExpr();
            return statement->value != nullptr;
        }
        statement->kind = StatementKind::RepeatWith;
        if (!Expect(TokenKind::Equals, "'=' or 'in'")) {
            return false;
        }
        statement->value = ParseExpr();
        if (!statement->value) {
            return false;
        }
        if (IsWord(Peek(), "down")) {
            Next();
            statement->down = true;
        }
        if (!ExpectWord("to")) {
            return false;
        }
        statement->limit = ParseExpr();
        return statement->limit != nullptr;
    }

    // Inside a case: `value[, value...]: [statement]` or
    // `otherwise[:] [statement]`; false (no error) for any other line.
    bool ParseCaseLine(Line* line, bool* isCaseLine) {
        *isCaseLine = true;
        if (IsWord(Peek(), "otherwise")) {
            Next();
            line->kind = LineKind::Otherwise;
            if (Peek().kind == TokenKind::Colon) {
                Next();
            }
            return ParseBranchStatement(line);
        }
        if (!HasTopLevelColon()) {
            *isCaseLine = false;
            return true;
        }
        line->kind = LineKind::CaseLabel;
        while (true) {
            ExprPtr value = ParseExpr();
            if (!value) {
                return false;
            }
            line->labels.push_back(std::move(value));
            if (Peek().kind != TokenKind::Comma) {
                break;
            }
            Next();
        }
        return Expect(TokenKind::Colon, "',' or ':' after a case value") &&
               ParseBranchStatement(line);
    }

    // What may follow a case label on its line.
    bool ParseBranchStatement(Line* line) {
        Statement& statement = line->statement;
        statement.kind = StatementKind::Empty;
        if (Peek().kind == TokenKind::End) {
            return true;
        }
        statement.column = Peek().column;
        return ParseSimple(&statement) && ExpectEnd();
    }

    // A ':' outside brackets and parentheses: the line is a case label
    // (a property list's ':' is always inside brackets).
    bool HasTopLevelColon() const {
        int depth = 0;
        for (const Token& token : tokens_) {
            if (token.kind == TokenKind::LeftBracket || token.kind == TokenKind::LeftParen) {
                ++depth;
            } else if (token.kind == TokenKind::RightBracket ||
                       token.kind == TokenKind::RightParen) {
                --depth;
            } else if (token.kind == TokenKind::Colon && depth == 0) {
                return true;
            }
        }
        return false;
    }

    bool ParseCaseHead(Statement* statement) {
        statement->kind = StatementKind::Case;
        statement->value = ParseExpr();
        return statement->value && ExpectWord("of") && ExpectEnd();
    }
};

}  // namespace

LineKind GuessLineKind(const std::string& text, std::string* endWord) {
    std::vector<std::string> words;
    const std::string statement = StatementText(text);
    size_t i = 0;
    while (i < statement.size()) {
        const size_t start = statement.find_first_not_of(" \t", i);
        if (start == std::string::npos) {
            break;
        }
        size_t stop = statement.find_first_of(" \t", start);
        stop = stop == std::string::npos ? statement.size() : stop;
        words.push_back(statement.substr(start, stop - start));
        i = stop;
    }
    if (words.empty()) {
        return LineKind::Statement;
    }
    const bool endsWithThen = SameName(words.back(), "then");
    const std::string& first = words.front();
    if (SameName(first, "on")) {
        return LineKind::HandlerStart;
    }
    if (SameName(first, "repeat")) {
        return LineKind::RepeatStart;
    }
    if (SameName(first, "case")) {
        return LineKind::CaseStart;
    }
    if (SameName(first, "end")) {
        *endWord = words.size() > 1 ? words[1] : std::string();
        return LineKind::End;
    }
    if (SameName(first, "if") && endsWithThen) {
        return LineKind::IfStart;
    }
    if (SameName(first, "else")) {
        if (words.size() == 1) {
            return LineKind::Else;
        }
        return endsWithThen && SameName(words[1], "if") ? LineKind::ElseIfStart
                                                        : LineKind::ElseLine;
    }
    return LineKind::Statement;
}

bool ParseLine(int lineNumber, const std::string& text, Line* line, SyntaxError* error,
               bool inCase) {
    std::vector<Token> tokens;
    LexError lexError;
    *line = Line{};
    if (!Lex(text, &tokens, &lexError)) {
        *error = {lexError.column, lexError.message};
        return false;
    }
    LineParser parser(tokens, lineNumber);
    if (!parser.ParseLine(line, inCase)) {
        *error = parser.error();
        return false;
    }
    return true;
}

}  // namespace console
