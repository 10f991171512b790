#include "popup/ScriptText.h"

#include "platform/ScriptLiteral.h"

namespace {

std::string ItemCall(std::string_view function, const FeedItem& item) {
    std::string text(function);
    text += '(';
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

}  // namespace

std::string ScriptText::AddAllItem(const FeedItem& item) { return ItemCall("AddAllItem", item); }

std::string ScriptText::PrependItem(const FeedItem& item) { return ItemCall("PrependItem", item); }

std::string ScriptText::SetItemTops(const std::vector<TopRun>& runs) {
    std::string text = "SetItemTops([";
    for (const TopRun& run : runs) {
        if (text.back() == ']') text += ',';
        text += '[' + std::to_string(run.first) + ',' + std::to_string(run.count) + ',' +
                platform::ScriptLiteral(run.top) + ']';
    }
    return text + "])";
}

std::string ScriptText::InitAllNum(int64_t unread, int64_t total) {
    return "InitAllNum(" + std::to_string(unread) + "," + std::to_string(total) + ")";
}
