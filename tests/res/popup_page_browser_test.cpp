// The popup page's structure and its three functions, read back from the live DOM.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HomeUrl.h"  // the configured NOTIFIER_HOME_URL
#include "PageFixture.h"
#include "tests/support/CaseName.h"

namespace {

using test_support::CaseName;

// ---- the static page --------------------------------------------------------------------------

struct Probe {
    const char* name;
    const char* expression;
    const char* expected;
};

class PopupPageStructure : public PageTest, public testing::WithParamInterface<Probe> {};

TEST_P(PopupPageStructure, Matches) {
    EXPECT_EQ(Js(GetParam().expression), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Page, PopupPageStructure,
    testing::Values(
        Probe{"Container", "var c=document.body.firstElementChild; c.className+'|'+c.getAttribute('style')",
              "container|width:500px;height:550px;padding:15px 5px;"},
        Probe{"HeaderCells",
              "[].map.call(document.querySelectorAll('.container > .row > div'),"
              "function(d){return d.className}).join(',')",
              "span1,span3,span2"},
        Probe{"Logo", "var i=document.querySelector('.span1 img'); i.getAttribute('src')+'|'+i.naturalWidth",
              "/png/134|48"},
        Probe{"HomeLink",
              "var a=document.querySelector('.span2 a[target]'); a.target+'|'+a.textContent+'|'+"
              "a.getAttribute('href')",
              "_blank|网站首页|" NOTIFIER_HOME_URL},
        Probe{"CloseAnchor",
              "var a=document.getElementById('button_close'); a.tagName+'|'+a.className+'|'+"
              "a.getAttribute('style')+'|'+a.firstElementChild.className+'|'+(a.title.length>0)",
              "A|push-del|position:absolute; top:10px; right:10px; cursor:pointer|icon-remove|true"},
        Probe{"TabStrip", "var u=document.getElementById('version_tabs'); u.className+'|'+u.children.length",
              "nav nav-tabs|1"},
        Probe{"TabLink",
              "var a=document.getElementById('all_notify_tab'); a.parentNode.className+'|'+"
              "a.getAttribute('href')+'|'+a.getAttribute('data-toggle')+'|'+a.textContent",
              "active|#all_notify_content|tab|所有提醒"},
        Probe{"Pane",
              "var p=document.getElementById('all_notify_content'); p.className+'|'+p.getAttribute('style')",
              "tab-pane fade active in|height:450px;"},
        Probe{"List",
              "var l=document.getElementById('all_notify'); "
              "l.childNodes.length+'|'+getComputedStyle(l).overflowY",
              "0|scroll"},
        Probe{"MarkAllReadButton",
              "var b=document.getElementById('all_notify_setread'); b.tagName+'|'+b.className+'|'+"
              "b.firstElementChild.className+'|'+b.textContent",
              "BUTTON|btn-mini|icon-ok|全部标记为已读"},
        Probe{"RemoveAllButton",
              "var b=document.getElementById('all_notify_remove'); b.tagName+'|'+b.className+'|'+"
              "b.firstElementChild.className+'|'+b.textContent",
              "BUTTON|btn-mini|icon-remove|全部删除"},
        Probe{"NoViewScrollbars",
              "getComputedStyle(document.documentElement).overflow+'|'+getComputedStyle(document.body)."
              "overflow",
              "hidden|hidden"},
        Probe{"Functions", "typeof ClearItems+typeof AddAllItem+typeof InitAllNum",
              "functionfunctionfunction"}),
    CaseName());

// ---- AddAllItem ---------------------------------------------------------------------------------

// One refresh of `items`, and what a page expression then gives.
struct Rendering {
    const char* name;
    std::vector<PageItem> items;
    std::string expression;
    const char* expected;
};

class PopupPageEntry : public PageTest, public testing::WithParamInterface<Rendering> {};

TEST_P(PopupPageEntry, Shows) {
    Refresh(GetParam().items);
    EXPECT_EQ(Js(GetParam().expression), GetParam().expected);
}

// Item 1 with its picture, read mark and title given.
PageItem One(const std::string& picurl, const std::string& top, const std::string& title) {
    PageItem item = NumberedItem(1, top);
    item.picurl = picurl;
    item.title = title;
    return item;
}

// The badge count and the title: unread means msg_top == 0 by the script's loose comparison.
const std::string kBadge =
    "document.querySelectorAll('#all_notify span.badge.badge-error').length+'|'+"
    "document.querySelector('#all_notify h4').textContent";
const std::string kSrc = "document.querySelector('#all_notify img').getAttribute('src')";

const PageItem kLinks{
    "", "1", "T", "D", "http://deals.test/detail?a=1&b=2", "id-42", "http://shop.test/buy?x=\"y\""};

// class | icon class | link attribute value | msg_id | text
std::string Button(const std::string& name, const std::string& attribute) {
    return "var b=document.querySelector('#all_notify button[name=" + name +
           "]');[b.className, b.firstElementChild.className, b.getAttribute('" + attribute +
           "'), b.getAttribute('msg_id'), b.textContent].join('|')";
}

INSTANTIATE_TEST_SUITE_P(
    AddAllItem, PopupPageEntry,
    testing::Values(
        Rendering{"BadgeForEmptyTop", {One("", "", "Deal")}, kBadge, "1|新! Deal"},
        Rendering{"BadgeForZero", {One("", "0", "Deal")}, kBadge, "1|新! Deal"},
        Rendering{"NoBadgeForOne", {One("", "1", "Deal")}, kBadge, "0|Deal"},
        Rendering{"BadgeForDoubleZero", {One("", "00", "Deal")}, kBadge, "1|新! Deal"},
        Rendering{"NoBadgeForZeroOne", {One("", "01", "Deal")}, kBadge, "0|Deal"},
        Rendering{"NoBadgeForText", {One("", "x", "Deal")}, kBadge, "0|Deal"},
        // Bootstrap 2.3 has no badge-error; the page's own rule must make it red.
        Rendering{"ErrorBadgeIsRed",
                  {NumberedItem(1, "0")},
                  "getComputedStyle(document.querySelector('.badge-error')).backgroundColor",
                  "rgb(185, 74, 72)"},
        Rendering{"EmptyPictureIsTheDefault", {One("", "0", "标题 1")}, kSrc, "pelmo128.png"},
        Rendering{"LogoPictureIsTheDefault", {One("logo", "0", "标题 1")}, kSrc, "pelmo128.png"},
        Rendering{"BlankPictureIsTheDefault", {One("blank", "0", "标题 1")}, kSrc, "pelmo128.png"},
        Rendering{"PlaceholderNamesAreCaseSensitive", {One("Logo", "0", "标题 1")}, kSrc, "Logo"},
        Rendering{"PictureKept", {One("/png/134", "0", "标题 1")}, kSrc, "/png/134"},
        Rendering{
            "EntryIsAPictureColumnBesideTitleDateAndButtonsThenARule",
            {{"http://img.test/p.jpg", "0", "Title", "Mon, 06 May 2024", "http://deals.test/1", "17",
              "http://shop.test/17"}},
            "var r=document.querySelector('#all_notify').children;"
            "var row=r[0], hr=r[1], s3=row.children[0], s8=row.children[1];"
            "var frame=s3.firstElementChild, cell=frame.firstElementChild, img=cell.firstElementChild;"
            "var b=s8.querySelectorAll('button');"
            "[r.length, row.className, s3.className, frame.getAttribute('style'), cell.getAttribute('style'),"
            " img.getAttribute('style'), s8.className,"
            " [].map.call(s8.children,function(e){return e.tagName}).join(','),"
            " s8.querySelector('small').textContent, s8.querySelector('p').getAttribute('style'),"
            " s8.querySelector('p').textContent, hr.tagName, hr.getAttribute('style')].join('|')",
            "2|row-fluid|span3|margin-left:10px;height:80px;width:80px;border:#999 solid 1px;display:table;"
            "text-align:center|height:80px;width:80px;display:table-cell;vertical-align:middle|"
            "max-height:80px;max-width:80px;|span8|H4,SMALL,P|Mon, 06 May 2024|margin-top:3px;|"
            "详情页面 - 购买链接|HR|margin:8px 0;"},
        Rendering{"DetailButtonCarriesItsLinkAndId",
                  {kLinks},
                  Button("button_detail", "detail_url"),
                  "btn-mini btn-info|icon-search icon-white|http://deals.test/detail?a=1&b=2|id-42|详情页面"},
        Rendering{
            "BuyButtonCarriesItsLinkAndId",
            {kLinks},
            Button("button_buy", "buy_url"),
            "btn-mini btn-danger|icon-shopping-cart icon-white|http://shop.test/buy?x=\"y\"|id-42|购买链接"},
        Rendering{"EntriesKeepTheHostsOrder",
                  {NumberedItem(3), NumberedItem(2), NumberedItem(1)},
                  "[].map.call(document.querySelectorAll('#all_notify h4'),function(h){return "
                  "h.lastChild.data}).join(',')+'|'+document.querySelectorAll('#all_notify > hr').length",
                  "标题 3,标题 2,标题 1|3"}),
    CaseName());

TEST_F(PageTest, DefaultPictureLoadsBesideThePage) {
    Refresh({NumberedItem(1)});
    Page().Spin(std::chrono::milliseconds(200));
    EXPECT_EQ(Js("var i=document.querySelector('#all_notify img'); i.src+'|'+i.naturalWidth"),
              "res:///23/pelmo128.png|128");
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

}  // namespace
