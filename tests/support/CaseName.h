#pragma once

#include <string>

namespace test_support {

// Names the rows of a parameterized table after their `name` member.
struct CaseName {
    template <class Info>
    std::string operator()(const Info& row) const {
        return row.param.name;
    }
};

}  // namespace test_support
