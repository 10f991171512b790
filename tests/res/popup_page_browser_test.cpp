// The popup page's structure and its three functions, read back from the live DOM.
#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HomeUrl.h"  // the configured NOTIFIER_HOME_URL
#include "PageFixture.h"

namespace {

// ---- the static page --------------------------------------------------------------------------

struct Probe {
    const char* what;
    const char* expression;
    const char* expected;
};

class PopupPageStructure : public PageTest, public testing::WithParamInterface<Probe> {};

TEST_P(PopupPageStructure, Matches) {
    EXPECT_EQ(Js(GetParam().expression), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Page, PopupPageStructure,
    testing::Values(
        Probe{"container", "var c=document.body.firstElementChild; c.className+'|'+c.getAttribute('style')",
              "container|width:500px;height:550px;padding:15px 5px;"},
        Probe{"header cells",
              "[].map.call(document.querySelectorAll('.container > .row > div'),"
              "function(d){return d.className}).join(',')",
              "span1,span3,span2"},
        Probe{"logo", "var i=document.querySelector('.span1 img'); i.getAttribute('src')+'|'+i.naturalWidth",
              "/png/134|48"},
        Probe{"home link",
              "var a=document.querySelector('.span2 a[target]'); a.target+'|'+a.textContent+'|'+"
              "a.getAttribute('href')",
              "_blank|网站首页|" NOTIFIER_HOME_URL},
        Probe{"close anchor",
              "var a=document.getElementById('button_close'); a.tagName+'|'+a.className+'|'+"
              "a.getAttribute('style')+'|'+a.firstElementChild.className+'|'+(a.title.length>0)",
              "A|push-del|position:absolute; top:10px; right:10px; cursor:pointer|icon-remove|true"},
        Probe{"tab strip", "var u=document.getElementById('version_tabs'); u.className+'|'+u.children.length",
              "nav nav-tabs|1"},
        Probe{"tab link",
              "var a=document.getElementById('all_notify_tab'); a.parentNode.className+'|'+"
              "a.getAttribute('href')+'|'+a.getAttribute('data-toggle')+'|'+a.textContent",
              "active|#all_notify_content|tab|所有提醒"},
        Probe{"pane",
              "var p=document.getElementById('all_notify_content'); p.className+'|'+p.getAttribute('style')",
              "tab-pane fade active in|height:450px;"},
        Probe{"list",
              "var l=document.getElementById('all_notify'); "
              "l.childNodes.length+'|'+getComputedStyle(l).overflowY",
              "0|scroll"},
        Probe{"mark-all-read button",
              "var b=document.getElementById('all_notify_setread'); b.tagName+'|'+b.className+'|'+"
              "b.firstElementChild.className+'|'+b.textContent",
              "BUTTON|btn-mini|icon-ok|全部标记为已读"},
        Probe{"remove-all button",
              "var b=document.getElementById('all_notify_remove'); b.tagName+'|'+b.className+'|'+"
              "b.firstElementChild.className+'|'+b.textContent",
              "BUTTON|btn-mini|icon-remove|全部删除"},
        Probe{"no view scrollbars",
              "getComputedStyle(document.documentElement).overflow+'|'+getComputedStyle(document.body)."
              "overflow",
              "hidden|hidden"},
        Probe{"functions", "typeof ClearItems+typeof AddAllItem+typeof InitAllNum",
              "functionfunctionfunction"}),
    [](const auto& param_info) {
        std::string name;
        for (char c : std::string(param_info.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// ---- AddAllItem ---------------------------------------------------------------------------------

struct BadgeCase {
    const char* top;
    bool badge;
};

class PopupPageBadge : public PageTest, public testing::WithParamInterface<BadgeCase> {};

// Unread means msg_top == 0 by the script's loose comparison.
TEST_P(PopupPageBadge, ShownForUnreadOnly) {
    PageItem item = NumberedItem(1, GetParam().top);
    item.title = "Deal";
    Refresh({item});
    EXPECT_EQ(Js("document.querySelectorAll('#all_notify span.badge.badge-error').length"),
              GetParam().badge ? "1" : "0");
    EXPECT_EQ(Js("document.querySelector('#all_notify h4').textContent"),
              GetParam().badge ? "新! Deal" : "Deal");
}

INSTANTIATE_TEST_SUITE_P(Top, PopupPageBadge,
                         testing::Values(BadgeCase{"", true}, BadgeCase{"0", true}, BadgeCase{"1", false},
                                         BadgeCase{"00", true}, BadgeCase{"01", false},
                                         BadgeCase{"x", false}));

struct PictureCase {
    const char* picurl;
    const char* src;
};

class PopupPagePicture : public PageTest, public testing::WithParamInterface<PictureCase> {};

TEST_P(PopupPagePicture, DefaultsForPlaceholders) {
    PageItem item = NumberedItem(1);
    item.picurl = GetParam().picurl;
    Refresh({item});
    EXPECT_EQ(Js("document.querySelector('#all_notify img').getAttribute('src')"), GetParam().src);
}

INSTANTIATE_TEST_SUITE_P(Picurl, PopupPagePicture,
                         testing::Values(PictureCase{"", "pelmo128.png"}, PictureCase{"logo", "pelmo128.png"},
                                         PictureCase{"blank", "pelmo128.png"}, PictureCase{"Logo", "Logo"},
                                         PictureCase{"/png/134", "/png/134"}));

TEST_F(PageTest, DefaultPictureLoadsBesideThePage) {
    Refresh({NumberedItem(1)});
    Page().Spin(std::chrono::milliseconds(200));
    EXPECT_EQ(Js("var i=document.querySelector('#all_notify img'); i.src+'|'+i.naturalWidth"),
              "res:///23/pelmo128.png|128");
}

TEST_F(PageTest, EntryIsAPictureColumnBesideTitleDateAndButtonsThenARule) {
    Refresh({{"http://img.test/p.jpg", "0", "Title", "Mon, 06 May 2024", "http://deals.test/1", "17",
              "http://shop.test/17"}});
    const char* shape =
        "var r=document.querySelector('#all_notify').children;"
        "var row=r[0], hr=r[1], s3=row.children[0], s8=row.children[1];"
        "var frame=s3.firstElementChild, cell=frame.firstElementChild, img=cell.firstElementChild;"
        "var b=s8.querySelectorAll('button');"
        "[r.length, row.className, s3.className, frame.getAttribute('style'), cell.getAttribute('style'),"
        " img.getAttribute('style'), s8.className,"
        " [].map.call(s8.children,function(e){return e.tagName}).join(','),"
        " s8.querySelector('small').textContent, s8.querySelector('p').getAttribute('style'),"
        " s8.querySelector('p').textContent, hr.tagName, hr.getAttribute('style')].join('|')";
    EXPECT_EQ(Js(shape),
              "2|row-fluid|span3|margin-left:10px;height:80px;width:80px;border:#999 solid 1px;display:table;"
              "text-align:center|height:80px;width:80px;display:table-cell;vertical-align:middle|"
              "max-height:80px;max-width:80px;|span8|H4,SMALL,P|Mon, 06 May 2024|margin-top:3px;|"
              "详情页面 - 购买链接|HR|margin:8px 0;");
}

struct ButtonCase {
    const char* name;
    const char* expected;  // class | icon class | link attribute value | msg_id | text
};

class PopupPageButtons : public PageTest, public testing::WithParamInterface<ButtonCase> {};

TEST_P(PopupPageButtons, CarryTheirLinkAndId) {
    Refresh(
        {{"", "1", "T", "D", "http://deals.test/detail?a=1&b=2", "id-42", "http://shop.test/buy?x=\"y\""}});
    const std::string name = GetParam().name;
    const std::string attribute = name == "button_detail" ? "detail_url" : "buy_url";
    EXPECT_EQ(Js("var b=document.querySelector('#all_notify button[name=" + name +
                 "]');"
                 "[b.className, b.firstElementChild.className, b.getAttribute('" +
                 attribute + "'), b.getAttribute('msg_id'), b.textContent].join('|')"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Name, PopupPageButtons,
    testing::Values(
        ButtonCase{
            "button_detail",
            "btn-mini btn-info|icon-search icon-white|http://deals.test/detail?a=1&b=2|id-42|详情页面"},
        ButtonCase{"button_buy",
                   "btn-mini btn-danger|icon-shopping-cart "
                   "icon-white|http://shop.test/buy?x=\"y\"|id-42|购买链接"}));

TEST_F(PageTest, EntriesKeepTheHostsOrder) {
    Refresh({NumberedItem(3), NumberedItem(2), NumberedItem(1)});
    EXPECT_EQ(Js("[].map.call(document.querySelectorAll('#all_notify h4'),function(h){return "
                 "h.lastChild.data}).join(',')"),
              "标题 3,标题 2,标题 1");
    EXPECT_EQ(Js("document.querySelectorAll('#all_notify > hr').length"), "3");
}

TEST_F(PageTest, AddAllItemWithoutClearItemsAppends) {
    Refresh({NumberedItem(1)});
    ASSERT_EQ(Page().RunBatch({AddAllItemCall(NumberedItem(2).Values())}), std::vector<bool>{true});
    EXPECT_EQ(EntryCount(), 2);
    EXPECT_EQ(Js("document.querySelector('#all_notify > .row-fluid:last-of-type h4').lastChild.data"),
              "标题 2");
}

// ---- ClearItems and InitAllNum -------------------------------------------------------------------

TEST_F(PageTest, ClearItemsAloneEmptiesTheListAndLeavesTheTab) {
    Refresh({NumberedItem(1), NumberedItem(2)});
    ASSERT_EQ(EntryCount(), 2);
    ASSERT_EQ(Page().RunBatch({"ClearItems()"}), std::vector<bool>{true});
    EXPECT_EQ(Js("document.getElementById('all_notify').childNodes.length"), "0");
    EXPECT_EQ(Js("document.getElementById('all_notify_tab').textContent"), "所有提醒 (2/2)");
    ASSERT_EQ(Page().RunBatch({"ClearItems()"}), std::vector<bool>{true});
    EXPECT_EQ(Js("document.getElementById('all_notify').childNodes.length"), "0");
}

struct CountCase {
    const char* call;
    const char* tab;
};

class PopupPageCounts : public PageTest, public testing::WithParamInterface<CountCase> {};

TEST_P(PopupPageCounts, SetTheTabText) {
    EXPECT_EQ(Js("document.getElementById('all_notify_tab').textContent"), "所有提醒");
    ASSERT_EQ(Page().RunBatch({GetParam().call}), std::vector<bool>{true});
    EXPECT_EQ(Js("document.getElementById('all_notify_tab').textContent"), GetParam().tab);
    // The tab plug-in must still own the link.
    EXPECT_EQ(Js("document.getElementById('all_notify_tab').getAttribute('data-toggle')"), "tab");
}

INSTANTIATE_TEST_SUITE_P(Calls, PopupPageCounts,
                         testing::Values(CountCase{"InitAllNum(0,0)", "所有提醒 (0/0)"},
                                         CountCase{"InitAllNum(3,12)", "所有提醒 (3/12)"},
                                         CountCase{"InitAllNum(0,123456789)", "所有提醒 (0/123456789)"}));

// Bootstrap 2.3 has no badge-error; the page's own rule must make it red.
TEST_F(PageTest, ErrorBadgeIsRed) {
    Refresh({NumberedItem(1, "0")});
    EXPECT_EQ(Js("getComputedStyle(document.querySelector('.badge-error')).backgroundColor"),
              "rgb(185, 74, 72)");
}

}  // namespace
