#include "popup/ShownList.h"

#include <utility>

#include "platform/Unicode.h"
#include "popup/PageText.h"
#include "popup/ScriptText.h"

namespace {

// The read marks that differ from `shown`, as runs of equal text: mark-all-read is one run.
std::vector<ScriptText::TopRun> ChangedTops(const std::vector<RowMark>& marks, size_t first,
                                            const std::vector<RowMark>& shown) {
    std::vector<ScriptText::TopRun> runs;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (marks[i].top == shown[i].top) continue;
        // As the full refresh sends it (PageText).
        const std::string top = platform::ValidUtf8(marks[i].top);
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
    m_rows.reserve(rows.size());
    for (const ListedRow& row : rows) m_rows.push_back({row.id, row.item.msg_top});
}

ShownList::ShownList(ListedChanges changes) : ShownList(changes.added) {
    m_rows.insert(m_rows.end(), std::make_move_iterator(changes.marks.begin()),
                  std::make_move_iterator(changes.marks.end()));
}

std::optional<int64_t> ShownList::TopId() const {
    if (m_rows.empty()) return std::nullopt;
    return m_rows.front().id;
}

std::optional<std::vector<std::string>> ShownList::ChangesTo(const ListedChanges& changes,
                                                             const std::string& localeCodeset) const {
    if (changes.marks.size() != m_rows.size()) return std::nullopt;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (changes.marks[i].id != m_rows[i].id) return std::nullopt;
    }
    std::vector<std::string> calls;
    for (size_t i = changes.added.size(); i-- > 0;) {
        calls.push_back(ScriptText::PrependItem(PageText::ForPage(changes.added[i].item, localeCodeset)));
    }
    const std::vector<ScriptText::TopRun> runs = ChangedTops(changes.marks, changes.added.size(), m_rows);
    if (!runs.empty()) {
        calls.push_back(ScriptText::SetItemTops(runs));
    }
    return calls;
}
