#include "engine/list_assembly.h"

#include <gtest/gtest.h>

#include "engine/name_rules.h"
#include "engine/song_line.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>
#include <vector>

namespace spurfix {
namespace {

using Lines = std::vector<std::pair<std::string, EntryKind>>;
constexpr EntryKind L = EntryKind::DirectoryLabel;
constexpr EntryKind F = EntryKind::File;

ScanList MakeScanList(std::initializer_list<std::string_view> lines) {
    ScanList list;
    for (std::string_view line : lines) {
        list.append(line);
    }
    return list;
}

// The lines as a reader sees them; the length a line reports agrees with its text, and a
// file line's number and title put together give its text.
Lines Flatten(const PreviewList& preview) {
    Lines lines;
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        lines.emplace_back(std::string(preview.text(i)), preview.kind(i));
        EXPECT_EQ(preview.textLength(i), lines.back().first.size()) << lines.back().first;
        if (preview.kind(i) == EntryKind::File) {
            const int32_t number = preview.number(i);
            const std::string numberText =
                number > 0 ? PadLeft(number, preview.numberWidth(), '0') + " - " : "";
            EXPECT_EQ(numberText + std::string(preview.title(i, scratch)), lines.back().first);
        }
    }
    return lines;
}

ListOptions Defaults() {
    ListOptions options;
    for (const char* extension : {"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}) {
        options.allowedExtensions.push_back({extension, true});
    }
    return options;
}

class ListAssembly : public ::testing::Test {
  protected:
    Lines build(const ScanList& scan, int32_t filesFound, const ListOptions& options) const {
        return Flatten(BuildPreview(scan, filesFound, options, collator_));
    }
    // The worked example: a reading of four files.
    Lines example(const ListOptions& options) const { return build(example_, 4, options); }

    platform::Collator collator_{"de_DE"};
    ScanList example_ = MakeScanList({"/E/Pop/", "/E/Pop/Live/", "/E/Pop/Live/03_Hit.mp3",
                                      "/E/Rock/", "/E/Rock/01 - Intro.mp3", "/E/Rock/02 - Song.MP3",
                                      "/E/Rock/cover.jpg", "/E/Leer/"});
};

TEST_F(ListAssembly, WorkedExampleWithTheDefaults) {
    EXPECT_EQ(example(Defaults()), (Lines{{"[Live]", L},
                                          {"001 - Hit", F},
                                          {"[Rock]", L},
                                          {"002 - Intro", F},
                                          {"003 - Song", F}}));
}

TEST_F(ListAssembly, WorkedExampleVariations) {
    struct Variation {
        const char* what;
        void (*change)(ListOptions&);
        Lines expected;
    };
    const Variation variations[] = {
        {"numbering per folder",
         [](ListOptions& o) { o.countPerFolder = true; },
         {{"[Live]", L}, {"001 - Hit", F}, {"[Rock]", L}, {"001 - Intro", F}, {"002 - Song", F}}},
        {"sort off",
         [](ListOptions& o) { o.sort = false; },
         {{"[Live]", L},
          {"001 - Hit", F},
          {"[Rock]", L},
          {"002 - Intro", F},
          {"003 - Song", F},
          {"[Leer]", L}}},
        {"labels off",
         [](ListOptions& o) { o.folderLabels = false; },
         {{"001 - Hit", F}, {"002 - Intro", F}, {"003 - Song", F}}},
        {"all files",
         [](ListOptions& o) { o.filter = FileFilter::AllFiles; },
         {{"[Live]", L},
          {"001 - Hit", F},
          {"[Rock]", L},
          {"002 - Intro", F},
          {"003 - Song", F},
          {"004 - cover", F}}},
        {"chosen extensions: jpg only",
         [](ListOptions& o) {
             o.filter = FileFilter::ChosenExtensions;
             o.allowedExtensions[0].checked = false;
         },
         {{"[Rock]", L}, {"001 - cover", F}}},
        {"numbering off",
         [](ListOptions& o) { o.numbering = false; },
         {{"[Live]", L}, {"Hit", F}, {"[Rock]", L}, {"Intro", F}, {"Song", F}}},
        {"extension kept",
         [](ListOptions& o) { o.withoutExtension = false; },
         {{"[Live]", L},
          {"001 - Hit.mp3", F},
          {"[Rock]", L},
          {"002 - Intro.mp3", F},
          {"003 - Song.MP3", F}}},
        {"track numbers kept",
         [](ListOptions& o) { o.withoutTrackNumber = false; },
         {{"[Live]", L},
          {"001 - 03_Hit", F},
          {"[Rock]", L},
          {"002 - 01 - Intro", F},
          {"003 - 02 - Song", F}}},
        {"just the title",
         [](ListOptions& o) {
             o.withoutTrackNumber = false;
             o.justTitle = true;
         },
         {{"[Live]", L},
          {"001 - 03_Hit", F},
          {"[Rock]", L},
          {"002 - Intro", F},
          {"003 - Song", F}}},
    };
    for (const Variation& v : variations) {
        ListOptions options = Defaults();
        v.change(options);
        EXPECT_EQ(example(options), v.expected) << v.what;
    }
}

TEST_F(ListAssembly, LabelTemplates) {
    const ScanList scan = MakeScanList({"/E/Pop/Live/", "/E/Pop/Live/a.mp3"});
    struct TemplateCase {
        std::string labelTemplate;
        std::string expected;
    };
    const TemplateCase cases[] = {
        {"%NAME% (%PFAD%)", "Live (/E/Pop/Live/)"},
        {"Ordner", "Ordner"},
        {"%name%", "%name%"},
        {"", ""},
        {"%NAME%%NAME%", "LiveLive"},
        {"%PFAD%%NAME", "/E/Pop/Live/%NAME"},
    };
    for (const TemplateCase& c : cases) {
        ListOptions options = Defaults();
        options.labelTemplate = c.labelTemplate;
        EXPECT_EQ(build(scan, 1, options), (Lines{{c.expected, L}, {"001 - a", F}}))
            << c.labelTemplate;
    }
}

TEST_F(ListAssembly, PlaceholderArrivingWithTheFolderNameIsReplacedByThePath) {
    const ScanList scan = MakeScanList({"/E/%PFAD%/", "/E/%PFAD%/a.mp3"});
    ListOptions options = Defaults();
    options.labelTemplate = "[%NAME%]";
    EXPECT_EQ(build(scan, 1, options)[0].first, "[/E/%PFAD%/]");
}

TEST_F(ListAssembly, NumberWidthFollowsTheFileCountOfTheReading) {
    const ScanList scan = MakeScanList({"/E/a.mp3", "/E/b.mp3"});
    ListOptions options = Defaults();
    options.folderLabels = false;
    EXPECT_EQ(build(scan, 999, options)[0].first, "001 - a");
    EXPECT_EQ(build(scan, 1000, options)[1].first, "0002 - b");
    EXPECT_EQ(build(scan, 0, options)[0].first, "001 - a");
}

TEST_F(ListAssembly, NumbersHaveNoGapsAndOutgrowTheWidth) {
    ScanList scan;
    for (int i = 0; i < 1005; ++i) {
        scan.append("/E/" + std::to_string(i) + (i % 2 ? " x.mp3" : " y.ogg"));
    }
    ListOptions options = Defaults();
    options.sort = false;
    const Lines lines = build(scan, 100, options);
    ASSERT_EQ(lines.size(), 502U);
    EXPECT_EQ(lines.front().first, "001 - x");
    EXPECT_EQ(lines.back().first, "502 - x");
    EXPECT_EQ(lines[200].first, "201 - x");
}

TEST_F(ListAssembly, EmptyNamesStillGiveALine) {
    const ScanList scan = MakeScanList({"/E/M/.mp3", "/E/M/123.mp3"});
    ListOptions options = Defaults();
    options.folderLabels = false;
    EXPECT_EQ(build(scan, 2, options), (Lines{{"001 - ", F}, {"002 - ", F}}));
    options.numbering = false;
    EXPECT_EQ(build(scan, 2, options), (Lines{{"", F}, {"", F}}));
}

TEST_F(ListAssembly, ChosenExtensionsIgnoreCaseAndNeverMatchALeadingFullStop) {
    const ScanList scan = MakeScanList({"/E/a.wav", "/E/b.WAV", "/E/c.Wav", "/E/d.ogg", "/E/e.ÄÖ"});
    ListOptions options = Defaults();
    options.folderLabels = false;
    options.numbering = false;
    options.filter = FileFilter::ChosenExtensions;
    options.allowedExtensions = {{"WAV", true}, {".ogg", true}, {"äö", true}};
    EXPECT_EQ(build(scan, 5, options), (Lines{{"a", F}, {"b", F}, {"c", F}, {"e", F}}));
    // The first equal entry decides, checked or not.
    options.allowedExtensions = {{"wav", false}, {"WAV", true}};
    EXPECT_TRUE(build(scan, 5, options).empty());
}

// A song after a sub-folder's lines stands under its own folder's heading again, and
// counts on with its own folder.
TEST_F(ListAssembly, SortedFileAfterASubfolderStandsUnderItsOwnFolder) {
    const ScanList scan =
        MakeScanList({"/E/M/", "/E/M/a.mp3", "/E/M/B/", "/E/M/B/x.mp3", "/E/M/c.mp3"});
    EXPECT_EQ(
        build(scan, 3, Defaults()),
        (Lines{
            {"[M]", L}, {"001 - a", F}, {"[B]", L}, {"002 - x", F}, {"[M]", L}, {"003 - c", F}}));
    ListOptions perFolder = Defaults();
    perFolder.countPerFolder = true;
    EXPECT_EQ(
        build(scan, 3, perFolder),
        (Lines{
            {"[M]", L}, {"001 - a", F}, {"[B]", L}, {"001 - x", F}, {"[M]", L}, {"002 - c", F}}));
    // An empty sub-folder in between leaves no heading, so none has to come again.
    const ScanList empty = MakeScanList({"/E/M/", "/E/M/a.mp3", "/E/M/B/", "/E/M/c.mp3"});
    EXPECT_EQ(build(empty, 2, perFolder), (Lines{{"[M]", L}, {"001 - a", F}, {"002 - c", F}}));
}

TEST_F(ListAssembly, SortingIgnoresCaseAndKeepsUmlautsWithTheirLetters) {
    const ScanList scan = MakeScanList({"/E/zebra.mp3", "/E/Äpfel.mp3", "/E/birne.mp3",
                                        "/E/Apfel.mp3", "/E/Öl.mp3", "/E/orange.mp3"});
    ListOptions options = Defaults();
    options.folderLabels = false;
    options.numbering = false;
    EXPECT_EQ(
        build(scan, 6, options),
        (Lines{{"Apfel", F}, {"Äpfel", F}, {"birne", F}, {"Öl", F}, {"orange", F}, {"zebra", F}}));
}

// Names without a full stop: the extension and the cut come from the file's own name,
// never from a folder of its path.
TEST_F(ListAssembly, ExtensionComesFromTheFileNameOnly) {
    const ScanList scan = MakeScanList(
        {"/E/Album.mp3/", "/E/Album.mp3/README", "/E/Album.mp3/Track.mp3", "/E/v1.0/Liesmich"});
    ListOptions options = Defaults();
    options.folderLabels = false;
    options.sort = false;
    EXPECT_EQ(build(scan, 3, options), (Lines{{"001 - Track", F}}));
    options.filter = FileFilter::AllFiles;
    EXPECT_EQ(build(scan, 3, options),
              (Lines{{"001 - README", F}, {"002 - Track", F}, {"003 - Liesmich", F}}));
}

TEST_F(ListAssembly, LineBreaksInNamesBecomeSpaces) {
    const ScanList scan = MakeScanList({"/E/Neue\nZeile/", "/E/Neue\nZeile/01 A\r\nB.mp3"});
    ListOptions options = Defaults();
    options.labelTemplate = "[%NAME%]\n";
    EXPECT_EQ(build(scan, 1, options), (Lines{{"[Neue Zeile] ", L}, {"001 - A  B", F}}));
}

TEST_F(ListAssembly, BytesThatAreNotUtf8PassUnchanged) {
    const ScanList scan = MakeScanList({"/E/\xFC\xFF/", "/E/\xFC\xFF/01 Gr\xFC\xDF.MP3"});
    EXPECT_EQ(build(scan, 1, Defaults()), (Lines{{"[\xFC\xFF]", L}, {"001 - Gr\xFC\xDF", F}}));
}

TEST_F(ListAssembly, EmptyScanListGivesEmptyPreview) {
    EXPECT_TRUE(build(ScanList{}, 0, Defaults()).empty());
}

}  // namespace
}  // namespace spurfix

namespace spurfix {
namespace {

// The list keeps number and title apart: a title that begins like a number stays a title.
TEST(PreviewListParts, NumberAndTitleComeFromTheListNotFromItsText) {
    const ScanList scan = MakeScanList({"/M/2001 - Odyssee.mp3", "/M/Hit\nRemix.mp3"});
    const platform::Collator collator("de_DE");
    ListOptions options = Defaults();
    options.withoutTrackNumber = false;
    std::string scratch;
    for (const bool numbering : {false, true}) {
        options.numbering = numbering;
        const PreviewList preview = BuildPreview(scan, 2, options, collator);
        ASSERT_EQ(preview.size(), 2U);
        EXPECT_EQ(preview.number(0), numbering ? 1 : 0);
        EXPECT_EQ(preview.title(0, scratch), "2001 - Odyssee");
        EXPECT_EQ(preview.number(1), numbering ? 2 : 0);
        EXPECT_EQ(preview.title(1, scratch), "Hit Remix");
    }
}

}  // namespace
}  // namespace spurfix

namespace spurfix {
namespace {

// Thousands of placeholders over many folders: each heading is cut at 4,096 bytes, never
// inside a character, and ends in "…"; a heading within the limit stays whole.
TEST(LongHeadings, AreCutWithAnEllipsisInsteadOfGrowingWithoutEnd) {
    ScanList scan;
    for (int folder = 0; folder < 200; ++folder) {
        const std::string path = "/cd/Ordner mit Ümlaut " + std::to_string(folder) + "/";
        scan.append(path);
        scan.append(path, "01 - Lied.mp3");
    }
    const platform::Collator collator("de_DE");
    ListOptions options = Defaults();
    options.labelTemplate.clear();
    for (int i = 0; i < 5461; ++i) {
        options.labelTemplate += "%PFAD%";
    }
    const PreviewList preview = BuildPreview(scan, 200, options, collator);
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        if (preview.kind(i) == EntryKind::DirectoryLabel) {
            const std::string_view heading = preview.text(i, scratch);
            ASSERT_LE(heading.size(), 4096U);
            EXPECT_GE(heading.size(), 4090U);
            EXPECT_EQ(heading.substr(heading.size() - 3), "\xE2\x80\xA6");
            EXPECT_EQ(heading.substr(0, 10), "/cd/Ordner");
        }
    }
    options.labelTemplate = "[%NAME%]";
    EXPECT_EQ(BuildPreview(scan, 200, options, collator).text(0), "[Ordner mit Ümlaut 0]");
}

}  // namespace
}  // namespace spurfix

namespace spurfix {
namespace {

// A reading of some 40,000 entries, enough for the sort on two threads: artists with
// albums, listed in no order of their names, and one folder of 20,000 songs whose own
// sort in a player's order takes long.
ScanList GeneratedReading() {
    ScanList scan;
    for (int artist = 0; artist < 150; ++artist) {
        const std::string artistFolder =
            "/cd/K\xc3\xbcnstler " + std::to_string((artist * 37) % 150) + "/";
        scan.append(artistFolder);
        for (int album = 0; album < 8; ++album) {
            const std::string albumFolder =
                artistFolder + "Album " + std::to_string((album * 3) % 8) + "/";
            scan.append(albumFolder);
            for (int track = 1; track <= 12; ++track) {
                scan.append(albumFolder, std::to_string((track * 5) % 13) + " - Lied.mp3");
            }
            scan.append(albumFolder, "cover.jpg");
        }
    }
    scan.append("/cd/Alles/");
    for (int song = 0; song < 20000; ++song) {
        scan.append("/cd/Alles/", "Lied " + std::to_string((song * 7919) % 20000) + ".mp3");
    }
    return scan;
}

// Records what a build reports, and asks it to stop from the `stopAt`-th report on.
class StopAfter : public BuildProgress {
  public:
    explicit StopAfter(uint64_t stopAt) : stopAt_(stopAt) {}
    void report(uint64_t done, uint64_t total) override {
        reports.emplace_back(done, total);
        count_.store(reports.size());
    }
    [[nodiscard]] bool stopRequested() const override { return count_.load() >= stopAt_; }

    std::vector<std::pair<uint64_t, uint64_t>> reports;

  private:
    uint64_t stopAt_;
    std::atomic<uint64_t> count_{0};
};

struct StopCase {
    const char* what;
    PlayOrder order;
    bool sort;
    const char* fileSystem;
    const char* labelTemplate;
};

class BuildStops : public ::testing::TestWithParam<StopCase> {
  protected:
    void SetUp() override {
        options_ = Defaults();
        options_.order = GetParam().order;
        options_.sort = GetParam().sort;
        options_.labelTemplate = GetParam().labelTemplate;
        options_.showPlayingTimes = true;
        songs_.lines = ListedSongLines(scan_, options_);
        songs_.songs.assign(songs_.lines.size(), SongInfo{});
        for (SongInfo& song : songs_.songs) {
            song.milliseconds = 185000;
        }
    }
    PreviewList build(BuildProgress* progress, ListFacts* facts) const {
        return BuildPreview(scan_, static_cast<int32_t>(scan_.size()), options_, collator_,
                            {"/cd/", GetParam().fileSystem}, facts, &songs_, progress);
    }

    platform::Collator collator_{"de_DE"};
    ScanList scan_ = GeneratedReading();
    ListOptions options_;
    SongInfoTable songs_;
};

// A build that is not stopped gives the same list as one without progress. It reports
// its way from 0 to the scan list's size, and within each phase (the order, the lines,
// the folders' playing times) again and again: a phase that did not look for the stop
// would report nothing within its share.
TEST_P(BuildStops, AnUnstoppedBuildGivesTheSameListAndReportsInEveryPhase) {
    ListFacts plainFacts;
    const Lines plain = Flatten(build(nullptr, &plainFacts));
    StopAfter progress(std::numeric_limits<uint64_t>::max());
    ListFacts facts;
    EXPECT_EQ(Flatten(build(&progress, &facts)), plain);
    EXPECT_EQ(facts.foldersWithSongs, plainFacts.foldersWithSongs);
    EXPECT_EQ(facts.mostSongsInAFolder, plainFacts.mostSongsInAFolder);
    ASSERT_FALSE(progress.reports.empty());
    const uint64_t total = scan_.size();
    EXPECT_EQ(progress.reports.back(), std::make_pair(total, total));
    uint64_t before = 0;
    for (const auto& [done, reportedTotal] : progress.reports) {
        ASSERT_EQ(reportedTotal, total);
        ASSERT_GE(done, before) << "progress went back";
        before = done;
    }
    const bool ordered = GetParam().sort || GetParam().order != PlayOrder::AsRead;
    const uint64_t assembled = total - (total - (ordered ? total / 2 : 0)) / 10;
    std::vector<std::pair<uint64_t, uint64_t>> phases{{ordered ? total / 2 : 0, assembled}};
    if (ordered) {
        // The order in two halves: the sort's comparisons lie in the second.
        phases.emplace_back(0, total / 4);
        phases.emplace_back(total / 4, total / 2);
    }
    if (std::string_view(GetParam().labelTemplate).find("%DAUER%") != std::string_view::npos) {
        phases.emplace_back(assembled, total);
    }
    for (const auto& phase : phases) {
        const auto from = phase.first;
        const auto to = phase.second;
        EXPECT_GE(
            std::count_if(progress.reports.begin(), progress.reports.end(),
                          [from, to](const auto& r) { return r.first > from && r.first < to; }),
            8)
            << "reports within " << from << " to " << to;
    }
}

// A stop asked for at several moments ends the build at the very report that saw it,
// with nothing of the list and the facts as they were.
TEST_P(BuildStops, AStopAtAnyMomentEndsTheBuildWithNothing) {
    StopAfter counting(std::numeric_limits<uint64_t>::max());
    (void)build(&counting, nullptr);
    const uint64_t reports = counting.reports.size();
    ASSERT_GE(reports, 20U);
    for (const uint64_t stopAt : {uint64_t{1}, reports / 5, reports * 2 / 5, reports * 3 / 5,
                                  reports * 4 / 5, reports - 1, reports}) {
        StopAfter progress(stopAt);
        ListFacts facts;
        facts.mostSongsInAFolder = -7;
        EXPECT_THROW((void)build(&progress, &facts), BuildStopped) << stopAt << " of " << reports;
        EXPECT_EQ(progress.reports.size(), stopAt);
        EXPECT_EQ(facts.mostSongsInAFolder, -7) << "facts of a stopped build";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhase, BuildStops,
    ::testing::Values(StopCase{"sorted", PlayOrder::AsRead, true, "ext4", "[%NAME%]"},
                      StopCase{"as_read_with_folder_times", PlayOrder::AsRead, false, "ext4",
                               "[%NAME% %DAUER%]"},
                      StopCase{"folder_by_folder_to_burn", PlayOrder::FolderByFolder, true, "ext4",
                               "[%NAME% %DAUER%]"},
                      StopCase{"level_by_level_from_a_disc", PlayOrder::LevelByLevel, true,
                               "iso9660", "[%NAME%]"}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.what); });

// The songs whose tags a list needs are known without building the list.
TEST(ListedSongLines, AreTheSongsOfTheListBuiltWithoutTags) {
    const platform::Collator collator("de_DE");
    const ScanList scan = GeneratedReading();
    const ScanList odd = MakeScanList({"/E/", "", "/E/.mp3", "/E/a.MP3", "/E/b.Jpg", "/E/c",
                                       "/E/d.mp3/", "/E/d.mp3/e.wav", "/E/f.mp3.txt"});
    ListOptions options = Defaults();
    for (const FileFilter filter :
         {FileFilter::Mp3Only, FileFilter::AllFiles, FileFilter::ChosenExtensions}) {
        options.filter = filter;
        for (const ScanList* list : {&scan, &odd}) {
            EXPECT_EQ(ListedSongLines(*list, options),
                      SongLinesOf(BuildPreview(*list, 100, options, collator)))
                << static_cast<int>(filter);
        }
    }
}

}  // namespace
}  // namespace spurfix
