#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PageHarness.h"

// One stored item as the host hands it to AddAllItem, in the call's argument order.
struct PageItem {
    std::string picurl, top, title, date, url, id, buyurl;

    std::vector<std::string> Values() const { return {picurl, top, title, date, url, id, buyurl}; }
};

inline PageItem NumberedItem(int n, const std::string& top = "0") {
    const std::string s = std::to_string(n);
    return {"",
            top,
            "标题 " + s,
            "2024-05-0" + std::to_string(n % 9 + 1) + " 10:00:" + s,
            "http://deals.test/item/" + s,
            s,
            "http://shop.test/buy/" + s};
}

// What the page shows for the items, one line per entry, in the same form as PageTest::ShownEntries().
inline std::string Expected(const std::vector<PageItem>& items) {
    std::string out;
    for (const auto& item : items) {
        const bool placeholder = item.picurl.empty() || item.picurl == "logo" || item.picurl == "blank";
        const bool unread = item.top.empty() || item.top == "0";
        out += (placeholder ? std::string("pelmo128.png") : item.picurl) + "|" + (unread ? "新! " : "") +
               item.title + "|" + item.date + "|" + item.url + "|" + item.id + "|" + item.buyurl + "\n";
    }
    return out;
}

// A fresh load of the popup page for every test, in one view shared by the whole run: a web process
// per test would cost seconds.
class PageTest : public testing::Test {
  protected:
    static PageHarness& Page() {
        static PageHarness* harness = new PageHarness();  // lives until exit, as the web process does
        return *harness;
    }

    void SetUp() override {
        Page().ResetCounts();
        ASSERT_TRUE(Page().Load()) << "the popup page did not load";
    }

    // The value of a page expression as text; "<threw>" when it threw.
    static std::string Js(const std::string& expression) {
        return Page().Eval(expression).value_or("<threw>");
    }

    // One refresh as the host sends it: ClearItems and the item calls in one task, then InitAllNum.
    static void Refresh(const std::vector<PageItem>& items, bool withCounts = true) {
        std::vector<std::string> texts{"ClearItems()"};
        int unread = 0;
        for (const auto& item : items) {
            texts.push_back(AddAllItemCall(item.Values()));
            if (item.top != "1") ++unread;
        }
        const auto flags = Page().RunBatch(texts);
        ASSERT_EQ(flags, std::vector<bool>(texts.size(), true));
        if (withCounts) {
            const auto counts = Page().RunBatch(
                {"InitAllNum(" + std::to_string(unread) + "," + std::to_string(items.size()) + ")"});
            ASSERT_EQ(counts, std::vector<bool>{true});
        }
    }

    // Reads the whole list by scrolling it from top to bottom in steps of `step` px (less than the view),
    // one entry a line, each entry once in order: an entry is known by where it lies in the content. On
    // the way every rendered entry must be a complete row-and-rule pair, and the view must never show a
    // gap the list does not end in. Puts the scroll offset back afterwards.
    static std::string ShownEntries(int step = 300) {
        Js(R"js(window.__walk = (function (step) {
            var l = document.getElementById('all_notify'), home = l.scrollTop, seen = new Map(), out = '';
            var last = -Infinity, started = false;
            function go(y) { l.scrollTop = y; l.dispatchEvent(new Event('scroll')); }
            function look() {
                var kids = l.children, box = l.getBoundingClientRect(), top = box.top + l.clientTop;
                var bottom = top + l.clientHeight, first = null, end = -Infinity;
                if (kids.length % 2) return 'odd number of children';
                for (var i = 0; i < kids.length; i += 2) {
                    var row = kids[i], hr = kids[i + 1];
                    if (row.className !== 'row-fluid' || hr.tagName !== 'HR') return 'broken list at ' + i;
                    var d = row.querySelector('[name=button_detail]'), b = row.querySelector('[name=button_buy]');
                    if (d.getAttribute('msg_id') !== b.getAttribute('msg_id')) return 'ids differ at ' + i;
                    if (row.querySelectorAll('*').length !== (row.querySelector('.badge') ? 13 : 12)) return 'shape at ' + i;
                    var r = row.getBoundingClientRect();
                    var below = hr.getBoundingClientRect().bottom + parseFloat(getComputedStyle(hr).marginBottom);
                    if (below <= top || r.top >= bottom) continue;
                    if (first === null) first = r.top;
                    end = below;
                    var key = Math.round((r.top - top + l.scrollTop) * 64);
                    var line = [row.querySelector('img').getAttribute('src'), row.querySelector('h4').textContent,
                                row.querySelector('small').textContent, d.getAttribute('detail_url'),
                                d.getAttribute('msg_id'), b.getAttribute('buy_url')].join('|') + '\n';
                    if (key <= last) {
                        if (seen.get(key) !== line) return 'entry moved or changed at ' + l.scrollTop;
                    } else {
                        seen.set(key, line);
                        out += line;
                        last = key;
                    }
                }
                var atEnd = l.scrollTop + l.clientHeight >= l.scrollHeight - 1;
                if (l.scrollTop > 0 && (first === null || first > top + 0.5)) return 'gap above at ' + l.scrollTop;
                if (!atEnd && end < bottom - 0.5) return 'gap below at ' + l.scrollTop;
                return atEnd ? 'end' : null;
            }
            // A few hundred steps a call, so that no call runs into the harness's time limit.
            return function (steps) {
                if (!started) go(0);
                started = true;
                for (var n = 0; n < steps; n++) {
                    var error = look(), was = l.scrollTop;
                    if (!error) go(was + step);
                    if (!error && l.scrollTop <= was) error = 'stuck at ' + was;
                    if (error) {
                        go(home);
                        return error === 'end' ? out : error;
                    }
                }
            };
        })()js" +
           std::to_string(step) + "); 0");
        std::string shown;
        while ((shown = Js("__walk(300)")) == "undefined") {
        }
        return shown;
    }

    // Counts every mutation under the list from now on.
    static void Observe() {
        Js("window.__mutations = [];"
           "window.__observer = new MutationObserver(function (r) { "
           "window.__mutations.push.apply(window.__mutations, r); });"
           "__observer.observe(document.getElementById('all_notify'),"
           "  {subtree: true, childList: true, attributes: true, characterData: true});"
           "__observer.observe(document.getElementById('all_notify_tab'),"
           "  {subtree: true, childList: true, attributes: true, characterData: true}); 0");
    }

    // The mutations seen since Observe(), one word each: type and the tag of its target.
    static std::string Mutations() {
        return Js(
            "__mutations.push.apply(__mutations, __observer.takeRecords());"
            "__mutations.map(function (m) { var t = m.target.nodeType === 3 ? m.target.parentNode : m.target;"
            "  return m.type + ':' + t.tagName + (m.addedNodes.length ? '+' + m.addedNodes.length : '')"
            "    + (m.removedNodes.length ? '-' + m.removedNodes.length : ''); }).join(' ')");
    }

    // How many entries the list holds in its DOM: all of a short list.
    static int EntryCount() {
        return std::stoi(Js("document.querySelectorAll('#all_notify > .row-fluid').length"));
    }
};
