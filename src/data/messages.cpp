#include "data/messages.h"

#include "common/text.h"

namespace {

const char kEmptyText[] = "";

bool HoldsStringDirective(const char* text) {
    for (; *text; ++text) {
        if (text[0] == '%' && text[1] == 's') return true;
    }
    return false;
}

}  // namespace

const char* GetMessageText(const UninstallData& data, int table, int number) {
    if (table != 0 || number < 0 || !data.messages) return kEmptyText;
    if (static_cast<uint32_t>(number) >= data.messageCount) return kEmptyText;
    return data.messages[number];
}

void FormatMessageText(const UninstallData& data, char* buffer, int number, const char* argument) {
    const char* text = GetMessageText(data, 0, number);
    TextWriter out(buffer, kMessageBufferSize);  // cut to fit: the text is only ever shown
    if (!HoldsStringDirective(text)) {
        out.Put(text);
    } else {
        for (const char* p = text; *p; ++p) {
            if (p[0] == '%' && p[1] == 's') {
                out.Put(argument ? argument : kEmptyText);
                ++p;
            } else if (p[0] == '%' && p[1] == '%') {
                out.Put('%');
                ++p;
            } else {
                out.Put(*p);
            }
        }
    }
}
