#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/ItemStore.h"

// The list the page confirmed it shows, newest first: each row's ID and read mark. A refresh that only
// brings rows above the top one and changed read marks is sent to the page as that difference.
class ShownList {
  public:
    ShownList() = default;
    explicit ShownList(const std::vector<ListedRow>& rows);
    // The list once `changes` (listed above TopId()) are shown.
    explicit ShownList(ListedChanges changes);

    // Each shown row's ID and read mark, newest first.
    const std::vector<RowMark>& Marks() const { return m_rows; }
    // The newest row's ID; none for an empty list.
    std::optional<int64_t> TopId() const;
    // The page calls that show `changes`: one PrependItem per new row, oldest first, then one SetItemTops
    // for the changed read marks. Nothing when the rows below the new ones are not exactly the shown
    // ones: only a full refresh can show that.
    std::optional<std::vector<std::string>> ChangesTo(const ListedChanges& changes,
                                                      const std::string& localeCodeset) const;

  private:
    std::vector<RowMark> m_rows;
};
