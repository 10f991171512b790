// The popup page's list. The host refreshes it with one script task holding ClearItems() and one
// AddAllItem(...) per stored item, or with PrependItem(...) for new items and SetItemTops(ranges) for
// changed read marks; InitAllNum(unread, all) follows in a later task.
//
// The list's values live in a model, one small record per entry; DOM entries exist only for the entries
// in and near the view, so a long list costs its values and not its markup. Room above and below the
// rendered entries (the list's ::before and ::after, see popup.html) keeps the scroll extent that of the
// whole list: measured heights where an entry has been rendered, the mean of those elsewhere.
//
// A refresh that brings the same items must not touch the DOM: rebuilding would make the list flicker,
// lose its scroll position and fetch every picture again through the res: scheme. So ClearItems only
// starts a rebuild, AddAllItem records values, and a microtask queued by ClearItems ends the rebuild once
// the host's task has ended; rendering then reuses the entries that show the same items.
(function (global) {
    'use strict';

    var DEFAULT_PICTURE = 'pelmo128.png';
    var TAB_TEXT = '所有提醒';

    // Until an entry has been measured; about one picture's height and a rule.
    var DEFAULT_HEIGHT = 100;
    // Entries are rendered this far above and below the view, so that a little scrolling finds them.
    var MARGIN = 420;
    // The rule's 'margin:8px 0;' below the last rendered entry belongs to that entry's height.
    var RULE_MARGIN = 8;

    var items = [];         // the list's model: {v: the 7 values, h: measured height or 0, born}
    var incoming = null;    // the model being rebuilt, from ClearItems until the task ends
    var scheduled = false;  // a microtask will end the rebuild and render
    var epoch = 0;          // records made since the last render carry it: they are new, not corrected
    var measuredSum = 0;    // over the model's measured records
    var measuredCount = 0;
    var rendered = [];      // DOM entries in the list, in order; they show items[first...]
    var spare = [];         // DOM entries out of the list, for reuse
    var room = ['', ''];  // the heights of the room above and below the entries, as last written

    function list() {
        return document.getElementById('all_notify');
    }

    function text(value) {
        return value === undefined || value === null ? '' : String(value);
    }

    function pictureFor(picurl) {
        return picurl === '' || picurl === 'logo' || picurl === 'blank' ? DEFAULT_PICTURE : picurl;
    }

    function element(tag, attributes, children) {
        var node = document.createElement(tag);
        var name;
        for (name in attributes) {
            if (Object.prototype.hasOwnProperty.call(attributes, name)) {
                node.setAttribute(name, attributes[name]);
            }
        }
        (children || []).forEach(function (child) {
            node.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
        });
        return node;
    }

    function makeBadge() {
        return element('span', { 'class': 'badge badge-error' }, ['新!']);
    }

    // One entry's nodes, built once; every entry is a deep clone of it, far cheaper than building each.
    // Pictures load as they come near the view, not all at once for a long list.
    var template = null;

    function buildTemplate() {
        var frame = element('div', {
            style: 'margin-left:10px;height:80px;width:80px;border:#999 solid 1px;display:table;text-align:center'
        }, [element('div', { style: 'height:80px;width:80px;display:table-cell;vertical-align:middle' },
            [element('img', { style: 'max-height:80px;max-width:80px;', loading: 'lazy' })])]);
        var row = element('div', { 'class': 'row-fluid' }, [
            element('div', { 'class': 'span3' }, [frame]),
            element('div', { 'class': 'span8' }, [
                element('h4', {}, ['']),
                element('small', {}, ['']),
                element('p', { style: 'margin-top:3px;' }, [
                    element('button', { 'class': 'btn-mini btn-info', name: 'button_detail' },
                        [element('i', { 'class': 'icon-search icon-white' }), '详情页面']),
                    ' - ',
                    element('button', { 'class': 'btn-mini btn-danger', name: 'button_buy' },
                        [element('i', { 'class': 'icon-shopping-cart icon-white' }), '购买链接'])
                ])
            ])
        ]);
        return { row: row, rule: element('hr', { style: 'margin:8px 0;' }) };
    }

    function makeEntry() {
        if (!template) template = buildTemplate();
        var row = template.row.cloneNode(true);
        var text = row.lastChild;
        var buttons = text.childNodes[2];
        var entry = {
            values: null,
            row: row,
            rule: template.rule.cloneNode(true),
            picture: row.firstChild.firstChild.firstChild.firstChild,
            badge: null,
            badgeGap: null,
            heading: text.firstChild,
            title: text.firstChild.firstChild,
            date: text.childNodes[1].firstChild,
            detail: buttons.firstChild,
            buy: buttons.lastChild
        };
        return entry;
    }

    // Writes only the parts that differ, so an unchanged item costs no mutation at all. The entry keeps
    // its own copy of what it shows: the model's records change in place.
    function apply(entry, v) {
        var old = entry.values || [null, null, null, null, null, null, null];
        if (old[0] === null || pictureFor(old[0]) !== pictureFor(v[0])) {
            entry.picture.setAttribute('src', pictureFor(v[0]));
        }
        // Loose comparison on purpose: "" and "0" mean unread, "1" read.
        var unread = v[1] == 0;
        if (unread && !entry.badge) {
            entry.badge = makeBadge();
            entry.badgeGap = document.createTextNode(' ');
            entry.heading.insertBefore(entry.badgeGap, entry.title);
            entry.heading.insertBefore(entry.badge, entry.badgeGap);
        } else if (!unread && entry.badge) {
            entry.heading.removeChild(entry.badge);
            entry.heading.removeChild(entry.badgeGap);
            entry.badge = entry.badgeGap = null;
        }
        if (old[2] !== v[2]) entry.title.data = v[2];
        if (old[3] !== v[3]) entry.date.data = v[3];
        if (old[4] !== v[4]) entry.detail.setAttribute('detail_url', v[4]);
        if (old[5] !== v[5]) {
            entry.detail.setAttribute('msg_id', v[5]);
            entry.buy.setAttribute('msg_id', v[5]);
        }
        if (old[6] !== v[6]) entry.buy.setAttribute('buy_url', v[6]);
        entry.values = v.slice();
    }

    // Which stored item values show; the other fields may change (a read mark, say) and are patched.
    function identityOf(v) {
        return v[3] + '\u0000' + v[4] + '\u0000' + v[5];
    }

    function sameItem(a, b) {
        return a[3] === b[3] && a[4] === b[4] && a[5] === b[5];
    }

    function record(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl) {
        return {
            v: [text(msg_picurl), msg_top, text(msg_title), text(msg_date), text(msg_url), text(msg_id),
                text(msg_buyurl)],
            h: 0,
            born: epoch
        };
    }

    // ---- heights ----------------------------------------------------------------------------------

    // Whole pixels, as scroll offsets are: a fraction would move the view a little at every correction.
    function estimate() {
        return measuredCount ? Math.round(measuredSum / measuredCount) : DEFAULT_HEIGHT;
    }

    function setHeight(rec, h) {
        if (rec.h) measuredSum -= rec.h;
        else measuredCount++;
        measuredSum += h;
        rec.h = h;
    }

    function recount() {
        measuredSum = measuredCount = 0;
        items.forEach(function (rec) {
            if (rec.h) {
                measuredSum += rec.h;
                measuredCount++;
            }
        });
    }

    // The entry at content offset y (the last one past the end) and where it starts.
    function indexAt(y) {
        var est = estimate(), top = 0, i = 0;
        for (; i < items.length; i++) {
            var h = items[i].h || est;
            if (top + h > y) break;
            top += h;
        }
        return { index: i, top: top };
    }

    function offsetOf(index) {
        var est = estimate(), top = 0;
        for (var i = 0; i < index; i++) top += items[i].h || est;
        return top;
    }

    function totalHeight() {
        return measuredSum + (items.length - measuredCount) * estimate();
    }

    // ---- rendering ----------------------------------------------------------------------------------

    function detach(entry) {
        var parent = entry.row.parentNode;
        if (parent) {
            parent.removeChild(entry.row);
            parent.removeChild(entry.rule);
        }
    }

    // Whole 1/64 px, as layout keeps them, so that the same heights always write the same text.
    function px(value) {
        return Math.max(0, Math.round(value * 64) / 64) + 'px';
    }

    function setRoom(node, above, below) {
        var heights = [above > 0 ? px(above) : '', below > 0 ? px(below) : ''];
        ['--above', '--below'].forEach(function (name, i) {
            if (room[i] === heights[i]) return;
            room[i] = heights[i];
            if (heights[i]) node.style.setProperty(name, heights[i]);
            else node.style.removeProperty(name);
        });
    }

    function roomFor(node, first, last) {
        var above = offsetOf(first), est = estimate(), inside = 0;
        for (var i = first; i < last; i++) inside += items[i].h || est;
        setRoom(node, above, totalHeight() - above - inside);
    }

    // Puts entries for items[first..last) in the list, in order, reusing the ones that show the same
    // items, then spare ones; an unchanged window causes no mutation.
    function place(node, first, last) {
        var byIdentity = new Map();
        rendered.forEach(function (entry) {
            var id = identityOf(entry.values);
            if (!byIdentity.has(id)) byIdentity.set(id, []);
            byIdentity.get(id).push(entry);
        });
        var next = [], i;
        for (i = first; i < last; i++) {
            var same = byIdentity.get(identityOf(items[i].v));
            next.push(same && same.length ? same.shift() : null);
        }
        byIdentity.forEach(function (left) {
            left.forEach(function (entry) {
                detach(entry);
                spare.push(entry);
            });
        });
        var cursor = node.firstChild;
        for (i = 0; i < next.length; i++) {
            var entry = next[i] || spare.pop() || makeEntry();
            next[i] = entry;
            apply(entry, items[first + i].v);
            if (entry.row === cursor) {
                cursor = entry.rule.nextSibling;
            } else {
                node.insertBefore(entry.row, cursor);
                node.insertBefore(entry.rule, cursor);
            }
        }
        rendered = next;
        roomFor(node, first, last);
    }

    // Reads the rendered entries' heights into the model. Returns how far the content above `anchor`
    // moved by corrections of earlier figures, leaving out entries new since the last render: those
    // push the content down, as inserting them at the top always did.
    function measure(first, anchor) {
        if (!rendered.length) return null;
        var before = offsetOf(anchor), est = estimate(), fresh = 0, changed = false;
        var tops = rendered.map(function (entry) { return entry.row.getBoundingClientRect().top; });
        var end = rendered[rendered.length - 1].rule.getBoundingClientRect().bottom + RULE_MARGIN;
        tops.forEach(function (top, k) {
            var h = (k + 1 < tops.length ? tops[k + 1] : end) - top, rec = items[first + k];
            if (h <= 0 || h === rec.h) return;  // not laid out, or unchanged
            var was = rec.h || est;
            if (rec.born === epoch && first + k < anchor) fresh += h - was;
            setHeight(rec, h);
            changed = changed || h !== was;
        });
        return changed ? offsetOf(anchor) - before - fresh : null;
    }

    // Renders the entries in and near the view. A measurement that corrects an estimate above the view
    // moves the scroll offset by as much, so that what is in view stays where it is.
    function render() {
        var node = list();
        if (!node) return;
        for (var pass = 0; pass < 4; pass++) {
            var scroll = node.scrollTop, view = node.clientHeight || MARGIN;
            var anchor = indexAt(scroll);
            var first = indexAt(scroll - MARGIN).index;
            var last = Math.min(items.length, indexAt(scroll + view + MARGIN).index + 1);
            place(node, first, last);
            var shift = measure(first, anchor.index);
            if (shift === null) break;
            roomFor(node, first, last);
            if (shift) node.scrollTop = scroll + shift;
        }
    }

    // ---- changes --------------------------------------------------------------------------------------

    // Measured heights stay with the items a rebuild brings again, found at the same place or, failing
    // that, by identity.
    function finishRebuild() {
        var old = items, byIdentity = null;
        items = incoming;
        incoming = null;
        items.forEach(function (rec, i) {
            var prev = old[i] && sameItem(old[i].v, rec.v) ? old[i] : null;
            if (!prev && old.length) {
                if (!byIdentity) {
                    byIdentity = new Map();
                    old.forEach(function (o) {
                        var id = identityOf(o.v);
                        if (!byIdentity.has(id)) byIdentity.set(id, []);
                        byIdentity.get(id).push(o);
                    });
                }
                var same = byIdentity.get(identityOf(rec.v));
                prev = same && same.length ? same.shift() : null;
            }
            if (prev) {
                rec.h = prev.h;
                rec.born = prev.born;
            }
        });
        recount();
    }

    function flush() {
        scheduled = false;
        if (incoming) finishRebuild();
        render();
        epoch++;
    }

    function schedule() {
        if (scheduled) return;
        scheduled = true;
        (global.queueMicrotask || function (task) { Promise.resolve().then(task); })(flush);
    }

    // The list the host's calls change: the one being rebuilt, if any.
    function target() {
        return incoming || items;
    }

    function ClearItems() {
        incoming = [];
        schedule();
    }

    function AddAllItem(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl) {
        target().push(record(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl));
        schedule();
    }

    function PrependItem(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl) {
        target().unshift(record(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl));
        schedule();
    }

    // ranges: [[first, count, msg_top], ...]. All are checked before any is applied, so that a host
    // whose idea of the list is wrong changes nothing and can fall back to a full refresh.
    function SetItemTops(ranges) {
        var model = target();
        if (!Array.isArray(ranges)) throw new RangeError('SetItemTops: not a list of ranges');
        ranges.forEach(function (range) {
            var first = Array.isArray(range) ? range[0] : NaN, count = Array.isArray(range) ? range[1] : NaN;
            if (!Number.isInteger(first) || !Number.isInteger(count) || first < 0 || count < 0 ||
                first + count > model.length) {
                throw new RangeError('SetItemTops: range ' + JSON.stringify(range) + ' outside ' + model.length);
            }
        });
        ranges.forEach(function (range) {
            for (var i = range[0]; i < range[0] + range[1]; i++) model[i].v[1] = range[2];
        });
        schedule();
    }

    function InitAllNum(unread, all) {
        var tab = document.getElementById('all_notify_tab');
        var label = TAB_TEXT + ' (' + unread + '/' + all + ')';
        if (tab && tab.textContent !== label) tab.textContent = label;
    }

    // Links that would run script in a window of ours are never opened.
    function openable(link) {
        return link !== '' && !/^[\u0000-\u0020]*(javascript|vbscript|data):/i.test(link);
    }

    // One handler for every entry: each button opens its own link, once.
    function onListClick(event) {
        var target = event.target;
        var button = target && target.closest ? target.closest('button') : null;
        if (!button || !this.contains(button)) return;
        var link = null;
        if (button.name === 'button_detail') link = button.getAttribute('detail_url');
        else if (button.name === 'button_buy') link = button.getAttribute('buy_url');
        if (link !== null && openable(link)) global.open(link);
    }

    function hookList() {
        var node = list();
        if (!node) return;
        node.addEventListener('click', onListClick);
        node.addEventListener('scroll', function () {
            if (!scheduled) render();
        });
    }

    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', hookList);
    } else {
        hookList();
    }

    global.ClearItems = ClearItems;
    global.AddAllItem = AddAllItem;
    global.InitAllNum = InitAllNum;
    global.PrependItem = PrependItem;
    global.SetItemTops = SetItemTops;
})(window);
