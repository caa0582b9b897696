#include "engine/line_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spurfix {
namespace {

// The list against a plain vector of strings, through block and chunk boundaries,
// lines of every length and replacements of the last line.
TEST(LineList, BehavesLikeAVectorOfStrings) {
    LineList list;
    std::vector<std::string> model;
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245 + 12345; };
    for (int i = 0; i < 30000; ++i) {
        const size_t length = next() % 7 == 0 ? next() % 5000 : next() % 40;
        std::string line(length, static_cast<char>('a' + i % 26));
        if (i % 1000 == 999) {
            line.assign(3 * 1024 * 1024, 'L');  // longer than any block
        }
        if (!model.empty() && next() % 5 == 0) {
            list.replaceBack(line);
            model.back() = line;
        } else {
            list.append(line.substr(0, length / 2), line.substr(length / 2));
            model.push_back(line);
        }
    }
    ASSERT_EQ(list.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(list[i], model[i]) << i;
    }
    EXPECT_EQ(list.back(), model.back());
    list.clear();
    EXPECT_TRUE(list.empty());
    list.append("a", "b", "c");
    EXPECT_EQ(list[0], "abc");
}

}  // namespace
}  // namespace spurfix
