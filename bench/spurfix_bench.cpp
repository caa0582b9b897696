// Measures a reading, the preview, the export and the whole job of Spurfix on generated
// music libraries, side by side with find in the same run, and prints every figure as a
// ratio to its peer. Usage: spurfix_bench [--large] [--runs N] [--data DIR] [--results FILE]
#include <sys/utsname.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/list_assembly.h"
#include "engine/list_file.h"
#include "library_tree.h"
#include "platform/collation.h"
#include "ui/about_dialog.h"
#include "ui/choose_dir_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/preview_model.h"
#include "ui/spurfix_application.h"
#include "ui/tform1.h"

namespace spurfix::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
}

long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(field) + 1);
        }
    }
    return 0;
}

std::string MachineDescription() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    std::string model = "unknown processor";
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    utsname name{};
    uname(&name);
    std::ostringstream out;
    out << model << ", " << sysconf(_SC_NPROCESSORS_ONLN) << " cores, "
        << sysconf(_SC_PHYS_PAGES) * sysconf(_SC_PAGESIZE) / (1024 * 1024 * 1024) << " GiB, Linux "
        << name.release;
    return out.str();
}

// Answers the export's dialogs: the file name, then OK.
class BenchPrompter : public ui::Prompter {
  public:
    QString fileName;
    ui::Answer message(ui::BoxKind, const QString&) override { return ui::Answer::Ok; }
    std::optional<QString> askSaveFileName(const ui::SaveRequest&) override { return fileName; }
};

class NullObserver : public WalkObserver {
  public:
    void folderEntered(std::string_view) override {}
    void showCounts(int32_t, int32_t) override { ++updates; }
    bool stopRequested() override { return false; }
    size_t updates = 0;
};

class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

struct Table {
    std::ostringstream text;
    void row(const std::string& what, double value, double peer, const std::string& unit = "ms") {
        char line[256];
        std::snprintf(line, sizeof line, "| %-58s | %10.1f %s | %6.2f |\n", what.c_str(),
                      unit == "ms" ? value * 1000 : value, unit.c_str(),
                      peer > 0 ? value / peer : 0.0);
        text << line;
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    void note(const std::string& what, const std::string& value) {
        char line[256];
        std::snprintf(line, sizeof line, "| %-58s | %13s | %6s |\n", what.c_str(), value.c_str(),
                      "");
        text << line;
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
};

struct Window {
    ui::TForm1 form;
    ui::TChooseDirDialog chooser;
    ui::TForm2 about;
    Window() {
        form.attachDialogs(&chooser, &about);
        form.setDriveSource([] {
            return std::vector<platform::Drive>{{"/", platform::DriveType::FixedDisk}};
        });
        form.show();
        form.FormActivate();
    }
    void read(const std::string& tree) {
        form.openFolder(tree);
        form.ForwardToInputClick();
        form.StartInputPanelClick();
    }
};

std::string SelfPath() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "spurfix_bench";
}

// The whole job once, reporting the growth of the resident set, the lines read and
// their path bytes.
int MemoryJob(const std::string& tree, const std::string& scratch) {
    BenchPrompter prompter;
    prompter.fileName = QString::fromStdString(scratch + "/memory.txt");
    ui::SetPrompter(&prompter);
    Window window;
    const long before = StatusKilobytes("VmRSS:");
    window.read(tree);
    window.form.ForwardToPreviewClick();
    window.form.SaveButtonClick();
    const long peak = StatusKilobytes("VmHWM:");
    const size_t lines = window.form.ScanList.size();
    size_t pathBytes = 0;
    for (size_t i = 0; i < lines; ++i) {
        pathBytes += window.form.ScanList[i].size();
    }
    std::printf("%ld %zu %zu\n", peak - before, lines, pathBytes);
    ui::SetPrompter(nullptr);
    return 0;
}

void Measure(const std::string& tree, size_t entries, int runs, Table& table,
             const std::string& scratch) {
    std::printf("\n### %s: %zu entries, %d runs, medians\n\n", tree.c_str(), entries, runs);
    table.text << "\n### " << entries << " entries (" << runs << " runs, medians, warm cache)\n\n";
    const std::string header =
        "| measurement                                                | median        | ratio  |\n"
        "|------------------------------------------------------------|---------------|--------|\n";
    std::fputs(header.c_str(), stdout);
    table.text << header;

    const std::string findL = "find -L '" + tree + "' > /dev/null";
    const std::string findPlain = "find '" + tree + "' > /dev/null";
    const std::string pipeline = "LC_ALL=C.UTF-8 find -L '" + tree +
                                 "' | LC_ALL=C.UTF-8 sort -f > '" + scratch + "/pipeline.txt'";
    Shell(findL);  // warm the cache

    Window window;
    BenchPrompter prompter;
    prompter.fileName = QString::fromStdString(scratch + "/spurfix.txt");
    ui::SetPrompter(&prompter);
    PaintCounter paints;
    window.form.InputFilesFound->installEventFilter(&paints);

    std::vector<double> tFindL, tFind, tWalk, tWindow, tSorted, tUnsorted, tExport, tPipeline, tJob;
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    ScanList scanList;
    int windowPaints = 0;
    for (int run = 0; run < runs; ++run) {
        tFindL.push_back(Seconds([&] { Shell(findL); }));
        tFind.push_back(Seconds([&] { Shell(findPlain); }));
        NullObserver observer;
        tWalk.push_back(Seconds([&] { ReadSource(tree + "/", scanList, observer); }));
        paints.paints = 0;
        tWindow.push_back(Seconds([&] { window.read(tree); }));
        windowPaints = paints.paints;
        window.form.CheckSortData->setChecked(false);
        tUnsorted.push_back(Seconds([&] { window.form.ForwardToPreviewClick(); }));
        window.form.CheckSortData->setChecked(true);
        tSorted.push_back(Seconds([&] { window.form.ForwardToPreviewClick(); }));
        tExport.push_back(Seconds(
            [&] { WriteListFile(scratch + "/export.txt", window.form.previewModel().lines()); }));
        tPipeline.push_back(Seconds([&] { Shell(pipeline); }));
        tJob.push_back(Seconds([&] {
            window.read(tree);
            window.form.ForwardToPreviewClick();
            window.form.SaveButtonClick();
        }));
    }
    const double findLMedian = Median(tFindL);
    const double pipelineMedian = Median(tPipeline);
    table.row("1. find -L TREE (the peer)", findLMedian, findLMedian);
    table.row("1. find TREE", Median(tFind), findLMedian);
    table.row("2. engine walk alone", Median(tWalk), findLMedian);
    table.row("3. reading through the window (offscreen)", Median(tWindow), findLMedian);
    table.note("   count label repaints during that reading", std::to_string(windowPaints));
    table.row("4. preview build, sorted (defaults)", Median(tSorted), findLMedian);
    table.row("4. preview build, unsorted", Median(tUnsorted), findLMedian);
    table.row("5. export of the sorted preview", Median(tExport), findLMedian);
    table.row("6. find -L TREE | sort -f > list.txt (C.UTF-8, the peer)", pipelineMedian,
              pipelineMedian);
    table.row("6. whole job: reading, preview, export", Median(tJob), pipelineMedian);
    table.note("   preview lines", std::to_string(window.form.previewModel().lines().size()));

    // A stop requested a third of the way into a reading: how long until it has ended.
    QElapsedTimer sinceStop;
    QTimer::singleShot(static_cast<int>(Median(tWindow) * 1000 / 3), [&] {
        sinceStop.start();
        window.form.StopInputClick();
    });
    window.read(tree);
    const double stopLatency = sinceStop.isValid() ? sinceStop.nsecsElapsed() / 1e9 : -1;
    table.row("3. stop: from the click to the end of the reading", stopLatency, findLMedian);

    // Scrolling the preview to its end and drawing it.
    window.form.ForwardToPreviewClick();
    window.form.Preview->resize(327, 164);
    const double scroll = Seconds([&] {
        window.form.Preview->scrollToBottom();
        window.form.Preview->grab();
        window.form.Preview->scrollToTop();
        window.form.Preview->grab();
    });
    table.row("   scroll the preview to its end and back, drawn", scroll, findLMedian);
    ui::SetPrompter(nullptr);

    // Peak memory of the whole job, in a fresh process of its own.
    const std::string command =
        "'" + SelfPath() + "' --memory-job '" + tree + "' '" + scratch + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> job(popen(command.c_str(), "r"), pclose);
    char buffer[128] = {};
    if (!job || std::fgets(buffer, sizeof buffer, job.get()) == nullptr) {
        std::fprintf(stderr, "memory job failed\n");
        return;
    }
    long growthKb = 0;
    size_t lines = 0;
    size_t pathBytes = 0;
    std::istringstream(buffer) >> growthKb >> lines >> pathBytes;
    const double growth = static_cast<double>(growthKb) * 1024;
    table.note("7. peak resident growth of the whole job",
               std::to_string(static_cast<long>(growth / (1024 * 1024))) + " MiB");
    table.note("7. path text", std::to_string(pathBytes / (1024 * 1024)) + " MiB");
    table.note("7. bytes per entry beyond the path text",
               std::to_string(static_cast<long>((growth - static_cast<double>(pathBytes)) /
                                                static_cast<double>(std::max<size_t>(lines, 1)))));
}

}  // namespace
}  // namespace spurfix::bench

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--memory-job") {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        spurfix::ui::SpurfixApplication application(argc, argv);
        return spurfix::bench::MemoryJob(argv[2], argv[3]);
    }
    bool large = false;
    int runs = 5;
    std::string data = "/tmp/spurfix-bench";
    std::string results;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--large") {
            large = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else if (arg == "--results" && i + 1 < argc) {
            results = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--large] [--runs N] [--data DIR] [--results FILE]\n",
                         argv[0]);
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    spurfix::ui::SpurfixApplication application(argc, argv);
    spurfix::ui::ApplyLook(application);

    using spurfix::bench::EnsureLibrary;
    spurfix::bench::Table table;
    table.text
        << "# Benchmark\n\nMachine: " << spurfix::bench::MachineDescription() << "\n\n"
        << "Ratios: each figure divided by its peer's median in the same run (rows 1 to 5 and 7 "
           "by `find -L`, row 6 by the `find -L | sort -f` pipeline).\n";
    std::printf("Machine: %s\n", spurfix::bench::MachineDescription().c_str());
    const std::string scratch = data + "/scratch";
    std::system(("mkdir -p '" + scratch + "'").c_str());
    const std::string library = data + "/library-100k";
    spurfix::bench::Measure(library, EnsureLibrary(library, {800, 10, 11}), runs, table, scratch);
    if (large) {
        const std::string big = data + "/library-1m";
        spurfix::bench::Measure(big, EnsureLibrary(big, {8000, 10, 11}), std::max(1, runs / 2 + 1),
                                table, scratch);
    }
    if (!results.empty()) {
        std::ofstream(results) << table.text.str();
        std::printf("\nwritten to %s\n", results.c_str());
    }
    return 0;
}
