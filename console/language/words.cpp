#include "console/language/words.h"

#include "hostsim/names.h"

namespace console {
namespace {

bool AnyOf(std::string_view name, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (hostsim::SameName(name, word)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsReservedWord(std::string_view name) {
    return AnyOf(
        name, {"put",  "the", "xtra", "void",   "true",   "false",     "empty",    "quote", "space",
               "tab",  "if",  "then", "else",   "end",    "repeat",    "while",    "with",  "to",
               "down", "in",  "on",   "global", "return", "exit",      "next",     "and",   "or",
               "not",  "mod", "halt", "case",   "of",     "otherwise", "contains", "starts"});
}

bool IsOutsideSubset(std::string_view name) {
    return AnyOf(name, {"sprite",         "member",       "castLib",     "field",    "window",
                        "sound",          "go",           "tell",        "play",     "puppetSprite",
                        "puppetSound",    "puppetTempo",  "updateStage", "cursor",   "alert",
                        "beep",           "script",       "timeout",     "marker",   "sendSprite",
                        "sendAllSprites", "callAncestor", "ancestor",    "property", "point",
                        "rect",           "rgb",          "image",       "do",       "pass",
                        "stopEvent",      "_movie",       "_player",     "_system",  "_global"});
}

std::string NotInSubset(std::string_view construct) {
    std::string text = "'";
    text.append(construct).append(
        "' is not part of the console's language (docs/console.md lists what is)");
    return text;
}

bool TheProperty(std::string_view name, ExprKind* kind) {
    const struct {
        const char* name;
        ExprKind kind;
    } properties[] = {
        {"milliseconds", ExprKind::Milliseconds},
        {"ticks", ExprKind::Ticks},
        {"timer", ExprKind::Timer},
        {"frame", ExprKind::Frame},
    };
    for (const auto& property : properties) {
        if (hostsim::SameName(name, property.name)) {
            *kind = property.kind;
            return true;
        }
    }
    return false;
}

}  // namespace console
