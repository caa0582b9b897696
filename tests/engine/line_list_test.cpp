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

// A line longer than the smallest block, stored while the list is still short, must get
// a block that holds it; the lines around it stay intact.
TEST(LineList, LongLinesFirstOrAfterShortOnes) {
    constexpr size_t kKiB = 1024;
    constexpr size_t kMiB = 1024 * kKiB;
    for (const size_t length : {16 * kKiB + 1, 100 * kKiB, kMiB - 1, kMiB + 1, 4 * kMiB + 1}) {
        for (const size_t shortLinesBefore : {0, 3}) {
            std::vector<std::string> model;
            for (size_t i = 0; i < shortLinesBefore; ++i) {
                model.push_back("kurz " + std::to_string(i));
            }
            std::string longLine(length, '\0');
            for (size_t i = 0; i < length; ++i) {
                longLine[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
            }
            model.push_back(longLine);
            model.push_back("danach");
            model.push_back(longLine.substr(0, length / 2));

            LineList list;
            for (const std::string& line : model) {
                list.append(line);
            }
            ASSERT_EQ(list.size(), model.size());
            for (size_t i = 0; i < model.size(); ++i) {
                EXPECT_TRUE(list[i] == model[i])
                    << "line " << i << " of the case " << length << " after " << shortLinesBefore;
            }
        }
    }
}

}  // namespace
}  // namespace spurfix
