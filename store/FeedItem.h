#pragma once

#include <string>

// One feed item. Ten narrow strings; seven are stored (see ItemStore). All start empty.
struct FeedItem {
    std::string msg_picurl;
    std::string msg_url;
    std::string msg_type;
    std::string msg_id;
    std::string msg_title;
    std::string msg_desc;
    std::string msg_date;
    std::string msg_categories;
    std::string msg_buyurl;
    std::string msg_top;

    bool operator==(const FeedItem&) const = default;
};
