#include "popup/ScriptText.h"

#include "platform/ScriptLiteral.h"

std::string ScriptText::AddAllItem(const FeedItem& item) {
    std::string text = "AddAllItem(";
    const std::string* const values[] = {&item.msg_picurl, &item.msg_top, &item.msg_title, &item.msg_date,
                                         &item.msg_url,    &item.msg_id,  &item.msg_buyurl};
    bool first = true;
    for (const std::string* value : values) {
        if (!first) text += ',';
        first = false;
        text += platform::ScriptLiteral(*value);
    }
    text += ')';
    return text;
}

std::string ScriptText::InitAllNum(int64_t unread, int64_t total) {
    return "InitAllNum(" + std::to_string(unread) + "," + std::to_string(total) + ")";
}
