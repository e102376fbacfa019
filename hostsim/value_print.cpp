// Values as the host's message window prints them.
#include <cstdio>

#include "hostsim/value_store.h"

namespace hostsim {

std::string ValueStore::Print(const Node* node) const {
    std::string out;
    PrintInto(node, out);
    return out;
}

void ValueStore::PrintInto(const Node* node, std::string& out) const {
    switch (node->kind) {
        case Kind::Void:
            out += "<Void>";
            return;
        case Kind::Integer:
            out += std::to_string(node->integer);
            return;
        case Kind::Float: {
            char buffer[400];  // room for the largest double in fixed notation
            std::snprintf(buffer, sizeof buffer, "%.4f", node->real);
            out += buffer;
            return;
        }
        case Kind::String:
            out += '"';
            out += node->text;
            out += '"';
            return;
        case Kind::Symbol:
            out += '#';
            out += SymbolName(node->symbol);
            return;
        case Kind::Object:
            out += "<Object ";
            out += node->text;
            out += '>';
            return;
        case Kind::List:
            out += '[';
            for (size_t i = 0; i < node->items.size(); ++i) {
                if (i > 0) {
                    out += ", ";
                }
                PrintInto(node->items[i], out);
            }
            out += ']';
            return;
        case Kind::PropList:
            if (node->items.empty()) {
                out += "[:]";
                return;
            }
            out += '[';
            for (size_t i = 0; i < node->items.size(); ++i) {
                if (i > 0) {
                    out += ", ";
                }
                PrintInto(node->keys[i], out);
                out += ": ";
                PrintInto(node->items[i], out);
            }
            out += ']';
            return;
    }
}

}  // namespace hostsim
