#include "console/language/parser.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "console/language/expression_parser.h"
#include "console/language/lexer.h"

namespace console {

bool IsReservedWord(const std::string& name) {
    static const char* const kWords[] = {
        "put", "the",    "xtra",   "void", "true",   "false", "empty", "quote", "space", "tab",
        "if",  "then",   "else",   "end",  "repeat", "while", "with",  "to",    "down",  "in",
        "on",  "global", "return", "exit", "next",   "and",   "or",    "not",   "mod",   "halt",
    };
    for (const char* word : kWords) {
        if (SameName(name, word)) {
            return true;
        }
    }
    return false;
}

namespace {

// Recursive descent over the tokens of one line: the line's kind and its
// statements; expressions through the expression parser. Every method
// returns null or false after recording the first error.
class LineParser : public ExpressionParser {
public:
    using ExpressionParser::ExpressionParser;
    using TokenCursor::error;

    bool ParseLine(Line* line) {
        const Token& first = Peek();
        line->column = first.column;
        Statement& statement = line->statement;
        statement.line = lineNumber_;
        statement.column = first.column;
        if (first.kind == TokenKind::End) {
            return true;
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

    bool ParseIfHead(Statement* statement) {
        statement->kind = StatementKind::If;
        statement->value = ParseExpr();
        return statement->value && ExpectWord("then");
    }

    // After `then` on the same line: statement [else statement].
    bool ParseIfTail(Statement* statement) {
        if (!Enter()) {
            return false;
        }
        Statement then;
        then.line = lineNumber_;
        then.column = Peek().column;
        if (!ParseSimple(&then)) {
            return false;
        }
        statement->body.push_back(std::move(then));
        if (IsWord(Peek(), "else")) {
            Next();
            Statement orElse;
            orElse.line = lineNumber_;
            orElse.column = Peek().column;
            if (!ParseSimple(&orElse)) {
                return false;
            }
            statement->orElse.push_back(std::move(orElse));
        }
        Leave();
        return true;
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

    // A statement that fits on its line: put, assignment, call, global,
    // return, exit, exit repeat, next repeat, halt, or a one-line if.
    bool ParseSimple(Statement* statement) {
        const Token& first = Peek();
        statement->column = first.column;
        if (first.kind == TokenKind::End) {
            return Fail(first.column, "expected a statement, found end of line");
        }
        if (IsWord(first, "put")) {
            Next();
            statement->kind = StatementKind::Put;
            statement->value = ParseExpr();
            return statement->value != nullptr;
        }
        if (IsWord(first, "global")) {
            Next();
            statement->kind = StatementKind::Global;
            while (true) {
                std::string name;
                if (!ExpectName("a variable name", &name)) {
                    return false;
                }
                statement->names.push_back(name);
                if (Peek().kind != TokenKind::Comma) {
                    return true;
                }
                Next();
            }
        }
        if (IsWord(first, "return")) {
            Next();
            statement->kind = StatementKind::Return;
            if (Peek().kind == TokenKind::End || IsWord(Peek(), "else")) {
                return true;
            }
            statement->value = ParseExpr();
            return statement->value != nullptr;
        }
        if (IsWord(first, "exit")) {
            Next();
            statement->kind = StatementKind::Exit;
            if (IsWord(Peek(), "repeat")) {
                Next();
                statement->kind = StatementKind::ExitRepeat;
            }
            return true;
        }
        if (IsWord(first, "next")) {
            Next();
            statement->kind = StatementKind::NextRepeat;
            return ExpectWord("repeat");
        }
        if (IsWord(first, "halt")) {
            Next();
            statement->kind = StatementKind::Halt;
            return true;
        }
        if (IsWord(first, "if")) {
            Next();
            if (!ParseIfHead(statement)) {
                return false;
            }
            if (Peek().kind == TokenKind::End) {
                return Fail(Peek().column,
                            "a block 'if' cannot follow 'then' or 'else' on its line");
            }
            return ParseIfTail(statement);
        }
        if (IsWord(first, "repeat") || IsWord(first, "on") || IsWord(first, "end") ||
            IsWord(first, "else")) {
            return Fail(first.column,
                        "'" + first.text + "' cannot follow 'then' or 'else' on its line");
        }
        if (first.kind == TokenKind::Identifier && PeekAt(1).kind == TokenKind::Equals) {
            if (IsReservedWord(first.text)) {
                return Fail(first.column, "'" + first.text + "' cannot be assigned to");
            }
            statement->kind = StatementKind::Assign;
            statement->target = first.text;
            Next();
            Next();
            statement->value = ParseExpr();
            return statement->value != nullptr;
        }
        statement->kind = StatementKind::Call;
        if (IsCommandCall()) {
            statement->value = ParseCommandCall();
            return statement->value != nullptr;
        }
        statement->value = ParseExpr();
        if (statement->value && statement->value->kind != ExprKind::Call) {
            return Fail(first.column, "expected put, an assignment or a call");
        }
        return statement->value != nullptr;
    }

    // `add gList, 5`: a name, then its arguments without parentheses.
    bool IsCommandCall() const {
        const Token& name = Peek();
        const Token& after = PeekAt(1);
        if (name.kind != TokenKind::Identifier || IsReservedWord(name.text)) {
            return false;
        }
        switch (after.kind) {
            case TokenKind::Integer:
            case TokenKind::Float:
            case TokenKind::String:
            case TokenKind::Symbol:
                return true;
            case TokenKind::Identifier:
                return !IsWord(after, "and") && !IsWord(after, "or") && !IsWord(after, "mod") &&
                       !IsWord(after, "then") && !IsWord(after, "else");
            default:
                return false;
        }
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

bool ParseLine(int lineNumber, const std::string& text, Line* line, SyntaxError* error) {
    std::vector<Token> tokens;
    LexError lexError;
    *line = Line{};
    if (!Lex(text, &tokens, &lexError)) {
        *error = {lexError.column, lexError.message};
        return false;
    }
    LineParser parser(tokens, lineNumber);
    if (!parser.ParseLine(line)) {
        *error = parser.error();
        return false;
    }
    return true;
}

}  // namespace console
