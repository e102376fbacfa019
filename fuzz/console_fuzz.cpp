// The console's lexer and parser on arbitrary text: the bytes are a script,
// cut into lines as the console reads a file, each lexed and fed to the
// script reader, which parses it and pairs its blocks. Nothing runs, so no
// port or plug-in is needed. Nothing may crash, hang or overflow the stack;
// every syntax error must name a line of the script and a column of it, and
// what parsed must be something the interpreter can run: no missing operand,
// no tree deeper than the nesting limit, no literal it cannot hold.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "console/language/lexer.h"
#include "console/language/script_reader.h"

namespace {

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "BROKEN: %s\n", what.c_str());
    std::abort();
}

void CheckTokens(std::string_view line, int number) {
    std::vector<console::Token> tokens;
    console::LexError error;
    const int end = static_cast<int>(line.size()) + 1;
    if (!console::Lex(line, &tokens, &error)) {
        if (error.column < 1 || error.column > end || error.message.empty()) {
            Broken("line " + std::to_string(number) + ": lex error at column " +
                   std::to_string(error.column));
        }
        return;
    }
    if (tokens.empty() || tokens.back().kind != console::TokenKind::End) {
        Broken("line " + std::to_string(number) + ": tokens do not end with End");
    }
    int previous = 0;
    for (const console::Token& token : tokens) {
        if (token.column <= previous || token.column > end) {
            Broken("line " + std::to_string(number) + ": token at column " +
                   std::to_string(token.column));
        }
        previous = token.column;
    }
    // What --echo writes is a piece of the line.
    const std::string text = console::StatementText(line);
    if (text.size() > line.size() || line.find(text) == std::string_view::npos) {
        Broken("line " + std::to_string(number) + ": statement text is not in the line");
    }
}

// Returns the tree's depth, checked against what each node says.
int CheckExpr(const console::Expr* expr, int line) {
    if (expr == nullptr) {
        Broken("line " + std::to_string(line) + ": an expression is missing");
    }
    if (expr->kind == console::ExprKind::Float && !std::isfinite(expr->real)) {
        Broken("line " + std::to_string(line) + ": a float literal that is not finite");
    }
    if (expr->kind == console::ExprKind::PropList && expr->keys.size() != expr->items.size()) {
        Broken("line " + std::to_string(line) + ": property list keys and values differ");
    }
    int below = 0;
    for (const console::ExprPtr& item : expr->items) {
        const int depth = CheckExpr(item.get(), line);
        below = depth > below ? depth : below;
    }
    if (below + 1 != expr->depth || expr->depth > console::kMaxNesting) {
        Broken("line " + std::to_string(line) + ": expression depth " +
               std::to_string(expr->depth) + ", counted " + std::to_string(below + 1));
    }
    return expr->depth;
}

void CheckStatement(const console::Statement& statement, int level) {
    if (level > console::kMaxNesting + 1) {
        Broken("line " + std::to_string(statement.line) + ": blocks nested " +
               std::to_string(level) + " deep");
    }
    if (statement.value) {
        CheckExpr(statement.value.get(), statement.line);
    }
    if (statement.limit) {
        CheckExpr(statement.limit.get(), statement.line);
    }
    if (statement.kind == console::StatementKind::AssignPlace) {
        CheckExpr(statement.place.get(), statement.line);
    }
    for (const console::CaseBranch& branch : statement.branches) {
        if (branch.values.empty()) {
            Broken("line " + std::to_string(statement.line) + ": a case branch without a value");
        }
        for (const console::ExprPtr& value : branch.values) {
            CheckExpr(value.get(), statement.line);
        }
        for (const console::Statement& inner : branch.body) {
            CheckStatement(inner, level + 1);
        }
    }
    for (const console::Statement& inner : statement.body) {
        CheckStatement(inner, level + 1);
    }
    for (const console::Statement& inner : statement.orElse) {
        CheckStatement(inner, level + 1);
    }
}

void CheckItems(const std::vector<console::ScriptItem>& items, int lines) {
    for (const console::ScriptItem& item : items) {
        if (item.kind == console::ScriptItem::Kind::Statement) {
            CheckStatement(item.statement, 0);
        } else if (item.kind == console::ScriptItem::Kind::Handler) {
            for (const console::Statement& statement : item.handler.body) {
                CheckStatement(statement, 1);
            }
        }
        if (item.kind != console::ScriptItem::Kind::Error) {
            continue;
        }
        if (item.line < 1 || item.line > lines || item.column < 1 || item.message.empty()) {
            Broken("syntax error at line " + std::to_string(item.line) + ", column " +
                   std::to_string(item.column) + " of " + std::to_string(lines) +
                   " lines: " + item.message);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= script.size()) {
        const size_t newline = script.find('\n', start);
        if (newline == std::string_view::npos) {
            if (start < script.size()) {
                lines.emplace_back(script.substr(start));
            }
            break;
        }
        lines.emplace_back(script.substr(start, newline - start));
        start = newline + 1;
    }

    console::ScriptReader reader;
    std::vector<console::ScriptItem> items;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        CheckTokens(lines[i], number);
        reader.Feed(number, lines[i], &items);
    }
    reader.Finish(&items);
    if (reader.InBlock()) {
        Broken("a block is still open after the end of the script");
    }
    CheckItems(items, static_cast<int>(lines.size()));
    return 0;
}
