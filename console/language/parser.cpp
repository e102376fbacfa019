#include "console/language/parser.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

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

struct Constant {
    const char* name;
    ExprKind kind;
    int32_t integer;
    const char* text;
};

constexpr Constant kConstants[] = {
    {"VOID", ExprKind::Void, 0, ""},      {"TRUE", ExprKind::Integer, 1, ""},
    {"FALSE", ExprKind::Integer, 0, ""},  {"EMPTY", ExprKind::String, 0, ""},
    {"QUOTE", ExprKind::String, 0, "\""}, {"SPACE", ExprKind::String, 0, " "},
    {"TAB", ExprKind::String, 0, "\t"},   {"RETURN", ExprKind::String, 0, "\r"},
};

// Recursive descent over the tokens of one line. Every method returns null
// or false after recording the first error.
class Parser {
public:
    Parser(const std::vector<Token>& tokens, int lineNumber)
        : tokens_(tokens), lineNumber_(lineNumber) {}

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

    const SyntaxError& error() const { return error_; }

private:
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

    // One level deeper; false (an error) beyond the limit.
    bool Enter() {
        if (depth_ >= kMaxNesting) {
            return Fail(Peek().column,
                        "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
        }
        ++depth_;
        return true;
    }

    // ---- statements

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
        --depth_;
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

    ExprPtr ParseCommandCall() {
        const Token& name = Next();
        auto call = Make(ExprKind::Call, name.column);
        call->text = name.text;
        while (true) {
            auto arg = ParseExpr();
            if (!arg) {
                return nullptr;
            }
            call->items.push_back(std::move(arg));
            if (Peek().kind != TokenKind::Comma) {
                return Finish(std::move(call));
            }
            Next();
        }
    }

    // ---- expressions, from the loosest operator to the tightest

    static ExprPtr Make(ExprKind kind, int column) {
        auto expr = std::make_unique<Expr>();
        expr->kind = kind;
        expr->column = column;
        return expr;
    }

    // Sets the node's depth from its children: evaluating it recurses that
    // deep, so it is held to the same limit as the parser's own recursion.
    ExprPtr Finish(ExprPtr expr) {
        int below = 0;
        for (const ExprPtr& item : expr->items) {
            below = item->depth > below ? item->depth : below;
        }
        expr->depth = below + 1;
        if (expr->depth > kMaxNesting) {
            Fail(expr->column, "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
            return nullptr;
        }
        return expr;
    }

    ExprPtr MakeBinary(BinaryOp op, int column, ExprPtr left, ExprPtr right) {
        auto expr = Make(ExprKind::Binary, column);
        expr->op = op;
        expr->items.push_back(std::move(left));
        expr->items.push_back(std::move(right));
        return Finish(std::move(expr));
    }

    // Every nested expression (parentheses, list, call argument) goes
    // through here, so the recursion stays within the limit.
    ExprPtr ParseExpr() {
        if (!Enter()) {
            return nullptr;
        }
        ExprPtr expr = ParseOr();
        --depth_;
        return expr;
    }

    ExprPtr ParseOr() {
        ExprPtr left = ParseAnd();
        while (left && IsWord(Peek(), "or")) {
            const int column = Next().column;
            ExprPtr right = ParseAnd();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(BinaryOp::Or, column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseAnd() {
        ExprPtr left = ParseNot();
        while (left && IsWord(Peek(), "and")) {
            const int column = Next().column;
            ExprPtr right = ParseNot();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(BinaryOp::And, column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseNot() {
        if (!IsWord(Peek(), "not")) {
            return ParseComparison();
        }
        const int column = Next().column;
        if (!Enter()) {
            return nullptr;
        }
        ExprPtr operand = ParseNot();
        --depth_;
        if (!operand) {
            return nullptr;
        }
        auto expr = Make(ExprKind::Not, column);
        expr->items.push_back(std::move(operand));
        return Finish(std::move(expr));
    }

    static bool ComparisonOf(TokenKind kind, BinaryOp* op) {
        switch (kind) {
            case TokenKind::Equals:
                *op = BinaryOp::Equal;
                return true;
            case TokenKind::NotEqual:
                *op = BinaryOp::NotEqual;
                return true;
            case TokenKind::Less:
                *op = BinaryOp::Less;
                return true;
            case TokenKind::LessEqual:
                *op = BinaryOp::LessEqual;
                return true;
            case TokenKind::Greater:
                *op = BinaryOp::Greater;
                return true;
            case TokenKind::GreaterEqual:
                *op = BinaryOp::GreaterEqual;
                return true;
            default:
                return false;
        }
    }

    ExprPtr ParseComparison() {
        ExprPtr left = ParseJoin();
        BinaryOp op{};
        while (left && ComparisonOf(Peek().kind, &op)) {
            const int column = Next().column;
            ExprPtr right = ParseJoin();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(op, column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseJoin() {
        ExprPtr left = ParseSum();
        while (left &&
               (Peek().kind == TokenKind::Ampersand || Peek().kind == TokenKind::DoubleAmpersand)) {
            const Token& token = Next();
            const BinaryOp op =
                token.kind == TokenKind::Ampersand ? BinaryOp::Join : BinaryOp::JoinSpace;
            ExprPtr right = ParseSum();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(op, token.column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseSum() {
        ExprPtr left = ParseProduct();
        while (left && (Peek().kind == TokenKind::Plus || Peek().kind == TokenKind::Minus)) {
            const Token& token = Next();
            const BinaryOp op = token.kind == TokenKind::Plus ? BinaryOp::Add : BinaryOp::Subtract;
            ExprPtr right = ParseProduct();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(op, token.column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseProduct() {
        ExprPtr left = ParseUnary();
        while (left) {
            BinaryOp op{};
            if (Peek().kind == TokenKind::Star) {
                op = BinaryOp::Multiply;
            } else if (Peek().kind == TokenKind::Slash) {
                op = BinaryOp::Divide;
            } else if (IsWord(Peek(), "mod")) {
                op = BinaryOp::Mod;
            } else {
                break;
            }
            const int column = Next().column;
            ExprPtr right = ParseUnary();
            if (!right) {
                return nullptr;
            }
            left = MakeBinary(op, column, std::move(left), std::move(right));
        }
        return left;
    }

    ExprPtr ParseUnary() {
        const Token& token = Peek();
        if (token.kind != TokenKind::Minus) {
            return ParsePostfix();
        }
        Next();
        // Folded here so that -2147483648 is a valid literal.
        if (Peek().kind == TokenKind::Integer && PeekAt(1).kind != TokenKind::Dot &&
            PeekAt(1).kind != TokenKind::LeftBracket) {
            const Token& literal = Next();
            if (literal.integer > int64_t{1} << 31) {
                Fail(literal.column, "integer " + literal.text + " is out of range");
                return nullptr;
            }
            auto expr = Make(ExprKind::Integer, token.column);
            expr->integer = static_cast<int32_t>(-literal.integer);
            return expr;
        }
        if (!Enter()) {
            return nullptr;
        }
        auto operand = ParseUnary();
        --depth_;
        if (!operand) {
            return nullptr;
        }
        auto expr = Make(ExprKind::Negate, token.column);
        expr->items.push_back(std::move(operand));
        return Finish(std::move(expr));
    }

    // value.name, value.name(arguments), value[index]
    ExprPtr ParsePostfix() {
        ExprPtr expr = ParsePrimary();
        while (expr) {
            if (Peek().kind == TokenKind::Dot) {
                const int column = Next().column;
                const Token& name = Next();
                if (name.kind != TokenKind::Identifier) {
                    Fail(name.column,
                         "expected a property name after '.', found " + Describe(name));
                    return nullptr;
                }
                if (Peek().kind == TokenKind::LeftParen) {
                    // value.f(a, b) is f(value, a, b)
                    Next();
                    auto call = Make(ExprKind::Call, name.column);
                    call->text = name.text;
                    call->items.push_back(std::move(expr));
                    if (!ParseArguments(call.get())) {
                        return nullptr;
                    }
                    expr = Finish(std::move(call));
                    continue;
                }
                auto property = Make(ExprKind::Property, column);
                property->text = name.text;
                property->items.push_back(std::move(expr));
                expr = Finish(std::move(property));
            } else if (Peek().kind == TokenKind::LeftBracket) {
                const int column = Next().column;
                auto index = ParseExpr();
                if (!index || !Expect(TokenKind::RightBracket, "']'")) {
                    return nullptr;
                }
                auto access = Make(ExprKind::Index, column);
                access->items.push_back(std::move(expr));
                access->items.push_back(std::move(index));
                expr = Finish(std::move(access));
            } else {
                break;
            }
        }
        return expr;
    }

    ExprPtr ParsePrimary() {
        const Token& token = Next();
        switch (token.kind) {
            case TokenKind::Integer: {
                if (token.integer > INT32_MAX) {
                    Fail(token.column, "integer " + token.text + " is out of range");
                    return nullptr;
                }
                auto expr = Make(ExprKind::Integer, token.column);
                expr->integer = static_cast<int32_t>(token.integer);
                return expr;
            }
            case TokenKind::Float: {
                // Hundreds of digits read as infinity, which no script wrote.
                if (!std::isfinite(token.real)) {
                    Fail(token.column, "number too large for a float");
                    return nullptr;
                }
                auto expr = Make(ExprKind::Float, token.column);
                expr->real = token.real;
                return expr;
            }
            case TokenKind::String: {
                auto expr = Make(ExprKind::String, token.column);
                expr->text = token.text;
                return expr;
            }
            case TokenKind::Symbol: {
                auto expr = Make(ExprKind::Symbol, token.column);
                expr->text = token.text;
                return expr;
            }
            case TokenKind::LeftBracket:
                return ParseList(token.column);
            case TokenKind::LeftParen: {
                auto inner = ParseExpr();
                if (!inner || !Expect(TokenKind::RightParen, "')'")) {
                    return nullptr;
                }
                return inner;
            }
            case TokenKind::Identifier:
                return ParseName(token);
            default:
                Fail(token.column, "expected a value, found " + Describe(token));
                return nullptr;
        }
    }

    ExprPtr ParseName(const Token& token) {
        for (const Constant& constant : kConstants) {
            if (SameName(token.text, constant.name)) {
                auto expr = Make(constant.kind, token.column);
                expr->integer = constant.integer;
                expr->text = constant.text;
                return expr;
            }
        }
        if (SameName(token.text, "the")) {
            const Token& property = Next();
            if (property.kind != TokenKind::Identifier ||
                !SameName(property.text, "milliseconds")) {
                Fail(property.column, "unknown property: only 'the milliseconds' is known");
                return nullptr;
            }
            return Make(ExprKind::Milliseconds, token.column);
        }
        if (SameName(token.text, "xtra")) {
            const Token& name = Next();
            if (name.kind != TokenKind::String) {
                Fail(name.column, "expected the xtra's name as a string after 'xtra'");
                return nullptr;
            }
            auto expr = Make(ExprKind::XtraRef, token.column);
            expr->text = name.text;
            return expr;
        }
        if (SameName(token.text, "put")) {
            Fail(token.column, "'put' starts a statement; it is not a value");
            return nullptr;
        }
        if (IsReservedWord(token.text)) {
            Fail(token.column, "expected a value, found '" + token.text + "'");
            return nullptr;
        }
        if (Peek().kind != TokenKind::LeftParen) {
            auto expr = Make(ExprKind::Variable, token.column);
            expr->text = token.text;
            return expr;
        }
        Next();
        auto call = Make(ExprKind::Call, token.column);
        call->text = token.text;
        if (!ParseArguments(call.get())) {
            return nullptr;
        }
        return Finish(std::move(call));
    }

    // After '(': the arguments and the ')'.
    bool ParseArguments(Expr* call) {
        if (Peek().kind == TokenKind::RightParen) {
            Next();
            return true;
        }
        while (true) {
            auto arg = ParseExpr();
            if (!arg) {
                return false;
            }
            call->items.push_back(std::move(arg));
            if (Peek().kind == TokenKind::Comma) {
                Next();
                continue;
            }
            return Expect(TokenKind::RightParen, "',' or ')'");
        }
    }

    // After '[': [], [:], [a, b], [#k: v, ...].
    ExprPtr ParseList(int column) {
        if (Peek().kind == TokenKind::RightBracket) {
            Next();
            return Make(ExprKind::List, column);
        }
        if (Peek().kind == TokenKind::Colon) {
            Next();
            if (!Expect(TokenKind::RightBracket, "']' after '[:'")) {
                return nullptr;
            }
            return Make(ExprKind::PropList, column);
        }
        const bool isProp = Peek().kind == TokenKind::Symbol && PeekAt(1).kind == TokenKind::Colon;
        auto list = Make(isProp ? ExprKind::PropList : ExprKind::List, column);
        while (true) {
            if (isProp) {
                if (Peek().kind != TokenKind::Symbol || PeekAt(1).kind != TokenKind::Colon) {
                    Fail(Peek().column,
                         "expected #property: in a property list, found " + Describe(Peek()));
                    return nullptr;
                }
                list->keys.push_back(Next().text);
                Next();
            }
            auto item = ParseExpr();
            if (!item) {
                return nullptr;
            }
            if (!isProp && Peek().kind == TokenKind::Colon) {
                Fail(Peek().column, "a property list has #property: before every value");
                return nullptr;
            }
            list->items.push_back(std::move(item));
            if (Peek().kind == TokenKind::Comma) {
                Next();
                continue;
            }
            if (!Expect(TokenKind::RightBracket, "',' or ']'")) {
                return nullptr;
            }
            return Finish(std::move(list));
        }
    }

    const std::vector<Token>& tokens_;
    int lineNumber_;
    size_t pos_ = 0;
    int depth_ = 0;
    SyntaxError error_;
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
    Parser parser(tokens, lineNumber);
    if (!parser.ParseLine(line)) {
        *error = parser.error();
        return false;
    }
    return true;
}

}  // namespace console
