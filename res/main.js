// The popup page's list. The host refreshes it about once a second with one script task holding
// ClearItems(), one AddAllItem(...) per stored item and, in a later task, InitAllNum(unread, all).
//
// A refresh that brings the same items must not touch the DOM: rebuilding would make the list flicker,
// lose its scroll position and fetch every picture again through the res: scheme. So ClearItems only
// starts a rebuild, AddAllItem reuses or patches the entry at its position, and a microtask queued by
// ClearItems drops whatever the rebuild did not bring again once the host's task has ended.
(function (global) {
    'use strict';

    var DEFAULT_PICTURE = 'pelmo128.png';
    var TAB_TEXT = '所有提醒';

    var entries = [];       // list entries in DOM order
    var rebuilding = false;
    var position = 0;       // where the next AddAllItem goes during a rebuild
    var pending = null;     // identity -> entries not yet placed in this rebuild; built on first miss
    var pool = [];          // entries taken out of the list during this rebuild, reusable until it ends
    var generation = 0;     // entries placed in the current rebuild carry its number

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
            identity: null,
            generation: -1,
            pooled: false,
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

    // Writes only the parts that differ, so an unchanged item costs no mutation at all.
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
        entry.values = v;
        entry.identity = identityOf(v);
    }

    // Which stored item an entry shows; the other fields may change (a read mark, say) and are patched.
    function identityOf(v) {
        return v[3] + '\u0000' + v[4] + '\u0000' + v[5];
    }

    function insertEntry(entry, before) {
        var parent = list();
        var anchor = before ? before.row : null;
        parent.insertBefore(entry.row, anchor);
        parent.insertBefore(entry.rule, anchor);
    }

    function detach(entry) {
        var parent = entry.row.parentNode;
        if (parent) {
            parent.removeChild(entry.row);
            parent.removeChild(entry.rule);
        }
    }

    function buildPending() {
        pending = new Map();
        for (var i = position; i < entries.length; i++) {
            var id = entries[i].identity;
            if (!pending.has(id)) pending.set(id, []);
            pending.get(id).push(entries[i]);
        }
    }

    function takePending(id) {
        var candidates = pending.get(id);
        while (candidates && candidates.length) {
            var entry = candidates.shift();
            if (entry.generation !== generation) return entry;
        }
        return null;
    }

    // The entry for this item at `position` during a rebuild, moving as little as possible. A new entry
    // is filled before it goes in, so that it costs one insertion.
    function placeAt(values) {
        var id = identityOf(values);
        var current = entries[position];
        if (current && current.identity === id) return current;
        if (!pending) buildPending();
        var found = takePending(id);
        if (found && !found.pooled) {
            // Entries between here and the match were not brought again at their place: most likely
            // they are gone, so take them out in one go rather than shifting the match up past them.
            var at = entries.indexOf(found, position);
            entries.splice(position, at - position).forEach(function (skipped) {
                detach(skipped);
                skipped.pooled = true;
                pool.push(skipped);
            });
            return found;
        }
        var entry = found || makeEntry();
        entry.pooled = false;
        apply(entry, values);
        insertEntry(entry, current);
        entries.splice(position, 0, entry);
        return entry;
    }

    function finishRebuild() {
        if (!rebuilding) return;
        entries.splice(position).forEach(detach);
        rebuilding = false;
        pending = null;
        pool = [];
    }

    function startRebuild() {
        generation++;
        position = 0;
        pending = null;
        pool.forEach(function (entry) { entry.pooled = true; });
        if (rebuilding) return;
        rebuilding = true;
        (global.queueMicrotask || function (task) { Promise.resolve().then(task); })(finishRebuild);
    }

    function ClearItems() {
        startRebuild();
    }

    function AddAllItem(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl) {
        var values = [text(msg_picurl), msg_top, text(msg_title), text(msg_date), text(msg_url),
            text(msg_id), text(msg_buyurl)];
        var entry;
        if (rebuilding) {
            entry = placeAt(values);
            position++;
        } else {
            entry = makeEntry();
            apply(entry, values);
            insertEntry(entry, null);
            entries.push(entry);
        }
        entry.generation = generation;
        if (entry.values !== values) apply(entry, values);
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
        if (node) node.addEventListener('click', onListClick);
    }

    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', hookList);
    } else {
        hookList();
    }

    global.ClearItems = ClearItems;
    global.AddAllItem = AddAllItem;
    global.InitAllNum = InitAllNum;
})(window);
