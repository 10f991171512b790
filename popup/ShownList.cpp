#include "popup/ShownList.h"

#include "platform/Unicode.h"
#include "popup/PageText.h"
#include "popup/ScriptText.h"

namespace {

// The read marks that differ from `shown`, as runs of equal text: mark-all-read is one run.
std::vector<ScriptText::TopRun> ChangedTops(const std::vector<ListedRow>& rows, size_t first,
                                            const std::vector<std::string>& shown) {
    std::vector<ScriptText::TopRun> runs;
    for (size_t i = 0; i < shown.size(); ++i) {
        const std::string& stored = rows[first + i].item.msg_top;
        if (stored == shown[i]) continue;
        // As the full refresh sends it (PageText).
        const std::string top = platform::ValidUtf8(stored);
        const int64_t position = static_cast<int64_t>(first + i);
        ScriptText::TopRun* last = runs.empty() ? nullptr : &runs.back();
        if (last && last->first + last->count == position && last->top == top) {
            ++last->count;
        } else {
            runs.push_back({position, 1, top});
        }
    }
    return runs;
}

}  // namespace

ShownList::ShownList(const std::vector<ListedRow>& rows) {
    m_ids.reserve(rows.size());
    m_tops.reserve(rows.size());
    for (const ListedRow& row : rows) {
        m_ids.push_back(row.id);
        m_tops.push_back(row.item.msg_top);
    }
}

std::optional<int64_t> ShownList::TopId() const {
    if (m_ids.empty()) return std::nullopt;
    return m_ids.front();
}

std::optional<std::vector<std::string>> ShownList::ChangesTo(const std::vector<ListedRow>& rows,
                                                             const std::string& localeCodeset) const {
    size_t added = 0;
    while (added < rows.size() && (m_ids.empty() || rows[added].id > m_ids.front())) ++added;
    if (rows.size() - added != m_ids.size()) return std::nullopt;
    for (size_t i = 0; i < m_ids.size(); ++i) {
        if (rows[added + i].id != m_ids[i]) return std::nullopt;
    }
    std::vector<std::string> calls;
    for (size_t i = added; i-- > 0;) {
        calls.push_back(ScriptText::PrependItem(PageText::ForPage(rows[i].item, localeCodeset)));
    }
    const std::vector<ScriptText::TopRun> runs = ChangedTops(rows, added, m_tops);
    if (!runs.empty()) {
        calls.push_back(ScriptText::SetItemTops(runs));
    }
    return calls;
}
