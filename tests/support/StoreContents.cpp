#include "tests/support/StoreContents.h"

#include <stdexcept>

namespace test_support {

FeedItem MakeItem(const std::string& date) {
    FeedItem item;
    item.msg_date = date;
    item.msg_title = "title " + date;
    item.msg_url = "http://deals.test/item/" + date;
    item.msg_buyurl = "http://shop.test/buy/" + date;
    item.msg_picurl = "http://img.test/" + date + ".jpg";
    return item;
}

Row RowOf(const FeedItem& item) {
    return {item.msg_date, item.msg_url, item.msg_title, item.msg_picurl, item.msg_buyurl};
}

std::vector<Row> StoredRows(ItemStore& store) {
    const auto items = store.ListItems();
    if (!items) throw std::runtime_error("ListItems failed");
    std::vector<Row> rows;
    for (const FeedItem& item : *items) {
        if (!item.msg_top.empty() || !item.msg_id.empty())
            throw std::runtime_error("a stored row has msg_top '" + item.msg_top + "' and msg_id '" +
                                     item.msg_id + "'");
        rows.push_back(RowOf(item));
    }
    return rows;
}

}  // namespace test_support
