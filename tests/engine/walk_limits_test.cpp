// The reading's result never depends on how many files the process may open: trees whose
// shape makes a walk hold many folders at once, read with lowered open-file limits, list
// exactly what an independent walker lists, and the walk stays within its budget.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/directory_walk.h"
#include "support/child_process.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using test::TempTree;

enum class Shape { LinkChain, LinksUp, ManyLinksToOne, LinksOutside, DeepTree };

std::string ShapeName(Shape shape) {
    switch (shape) {
        case Shape::LinkChain:
            return "LinkChain";
        case Shape::LinksUp:
            return "LinksUp";
        case Shape::ManyLinksToOne:
            return "ManyLinksToOne";
        case Shape::LinksOutside:
            return "LinksOutside";
        case Shape::DeepTree:
            return "DeepTree";
    }
    return "?";
}

// Each tree is made once and read under every limit; the source is "quelle/".
void Make(Shape shape, const TempTree& tree) {
    tree.folder("quelle");
    switch (shape) {
        case Shape::LinkChain:
            // 2,000 folders, each reached only through a link from the one before.
            for (int i = 0; i < 2000; ++i) {
                const std::string folder = "quelle/kette/d" + std::to_string(i);
                tree.folder(folder);
                tree.file(folder + "/lied.mp3");
                tree.link("../d" + std::to_string(i + 1), folder + "/next");
            }
            tree.link("kette/d0", "quelle/start");
            break;
        case Shape::LinksUp:
            // Links to the parent, to the source and to the folder itself, everywhere.
            for (int a = 0; a < 12; ++a) {
                for (int b = 0; b < 12; ++b) {
                    const std::string folder =
                        "quelle/k" + std::to_string(a) + "/a" + std::to_string(b);
                    tree.folder(folder);
                    tree.file(folder + "/lied.mp3");
                    tree.link("..", folder + "/oben");
                    tree.link(tree.path("quelle"), folder + "/wurzel");
                    tree.link(".", folder + "/selbst");
                }
            }
            break;
        case Shape::ManyLinksToOne:
            // 3,000 links to one folder with sub-folders.
            for (int s = 0; s < 20; ++s) {
                tree.folder("quelle/ziel/cd" + std::to_string(s) + "/teil");
                tree.file("quelle/ziel/cd" + std::to_string(s) + "/teil/lied.mp3");
            }
            for (int i = 0; i < 3000; ++i) {
                tree.link("ziel", "quelle/l" + std::to_string(i));
            }
            break;
        case Shape::LinksOutside:
            // 6,000 links to 3,000 folders outside the source, two to each.
            for (int i = 0; i < 3000; ++i) {
                const std::string folder = "draussen/o" + std::to_string(i);
                tree.folder(folder + "/cd");
                tree.file(folder + "/cd/lied.mp3");
                tree.link(tree.path(folder), "quelle/x" + std::to_string(i));
                tree.link(tree.path(folder), "quelle/y" + std::to_string(i));
            }
            break;
        case Shape::DeepTree: {
            // 2,000 levels of real folders, a file in each and a side folder now and then.
            std::string relative = "quelle";
            for (int level = 0; level < 2000; ++level) {
                relative += "/d";
                tree.folder(relative);
                tree.file(relative + "/f");
                if (level % 7 == 0) {
                    tree.folder(relative + "/e");
                    tree.file(relative + "/e/g");
                }
            }
            break;
        }
    }
}

struct MadeTree {
    TempTree tree;
    std::string expected;  // the independent walker's lines, one per line
    size_t lines = 0;
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += line;
        joined += '\n';
    }
    return joined;
}

const MadeTree& TreeOf(Shape shape) {
    static std::map<Shape, std::unique_ptr<MadeTree>> made;
    auto& slot = made[shape];
    if (slot == nullptr) {
        slot = std::make_unique<MadeTree>();
        Make(shape, slot->tree);
        // The independent walker holds a descriptor per level: it runs with the highest
        // limit this process may have.
        const std::string source = slot->tree.path("quelle/");
        slot->expected = test::RunInChild([&]() -> std::string {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &limit);
            std::vector<std::string> lines;
            for (const std::string& line : test::ReferenceLines(source)) {
                lines.push_back(source + line);
            }
            return Joined(lines);
        });
        slot->lines =
            static_cast<size_t>(std::count(slot->expected.begin(), slot->expected.end(), '\n'));
    }
    return *slot;
}

size_t OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return 0;
    }
    size_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count - 1;  // the listing's own
}

// Counts the descriptors the process holds each time a folder is entered.
class PeakObserver : public WalkObserver {
  public:
    size_t peak = 0;
    void folderEntered(std::string_view /*path*/) override {
        peak = std::max(peak, OpenDescriptors());
    }
    void showCounts(int32_t /*files*/, int32_t /*folders*/) override {}
    bool stopRequested() override { return false; }
};

class WalkUnderLimits : public ::testing::TestWithParam<std::tuple<Shape, int>> {};

TEST_P(WalkUnderLimits, ListsWhatAnIndependentWalkerLists) {
    const Shape shape = std::get<0>(GetParam());
    const int openFiles = std::get<1>(GetParam());
    const MadeTree& made = TreeOf(shape);
    ASSERT_GT(made.lines, 100U) << "the independent walker read the tree";
    const std::string source = made.tree.path("quelle/");
    // A quarter of the limit, never more than 256.
    const size_t budget = std::min<size_t>(256, static_cast<size_t>(openFiles) / 4);
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(120);
        const rlimit limit{static_cast<rlim_t>(openFiles), static_cast<rlim_t>(openFiles)};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return "no limit";
        }
        const size_t before = OpenDescriptors();
        PeakObserver observer;
        ScanList scanList;
        ReadSource(source, scanList, observer);
        std::vector<std::string> lines;
        for (size_t i = 0; i < scanList.size(); ++i) {
            lines.emplace_back(scanList[i]);
        }
        std::string result = Joined(lines);
        if (observer.peak > before + budget) {
            result += "peak of " + std::to_string(observer.peak - before) + " descriptors\n";
        }
        return result;
    });
    if (outcome == made.expected) {
        SUCCEED();
        return;
    }
    // Where they differ: the first line that does, and how many lines each has.
    const auto size = static_cast<size_t>(std::count(outcome.begin(), outcome.end(), '\n'));
    const auto at =
        std::mismatch(outcome.begin(), outcome.end(), made.expected.begin(), made.expected.end());
    const auto lineStart = made.expected.rfind('\n', at.second - made.expected.begin());
    ADD_FAILURE() << ShapeName(shape) << " at " << openFiles << " open files: " << size
                  << " lines instead of " << made.lines << "; first difference near \""
                  << made.expected.substr(lineStart == std::string::npos ? 0 : lineStart + 1, 200)
                  << "\" / got \""
                  << outcome.substr(static_cast<size_t>(at.first - outcome.begin()) -
                                        (at.second - made.expected.begin() -
                                         static_cast<std::ptrdiff_t>(
                                             lineStart == std::string::npos ? 0 : lineStart + 1)),
                                    200)
                  << "\"";
}

// Where the process has no descriptor left (other parts of the program hold them all),
// the readers wait, and read every folder once descriptors are free again; nothing is
// taken for an empty folder. Here the walk frees them itself the first time it waits.
TEST(WalkWithoutDescriptors, WaitsAndReadsEverything) {
    const MadeTree& made = TreeOf(Shape::LinksUp);
    const std::string source = made.tree.path("quelle/");
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(120);
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return "no limit";
        }
        class FreeingObserver : public PeakObserver {
          public:
            std::vector<int> held;
            void waitingForMedium() override {
                for (const int fd : held) {
                    close(fd);
                }
                held.clear();
            }
        } observer;
        // A first reading settles UndefinedBehaviorSanitizer's checks of dynamic types,
        // which need descriptors of their own the first time each type is met.
        ScanList warmUp;
        ReadSource(source, warmUp, observer);
        for (int fd; (fd = dup(0)) >= 0;) {
            observer.held.push_back(fd);
        }
        if (errno != EMFILE) {
            return "could not use up the descriptors";
        }
        ScanList scanList;
        ReadSource(source, scanList, observer);
        std::vector<std::string> lines;
        for (size_t i = 0; i < scanList.size(); ++i) {
            lines.emplace_back(scanList[i]);
        }
        return observer.held.empty() ? Joined(lines) : "the walk never waited";
    });
    EXPECT_EQ(outcome, made.expected);
}

INSTANTIATE_TEST_SUITE_P(ShapesAndLimits, WalkUnderLimits,
                         ::testing::Combine(::testing::Values(Shape::LinkChain, Shape::LinksUp,
                                                              Shape::ManyLinksToOne,
                                                              Shape::LinksOutside, Shape::DeepTree),
                                            ::testing::Values(1024, 256, 64, 32)),
                         [](const auto& info) {
                             return ShapeName(std::get<0>(info.param)) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace spurfix
