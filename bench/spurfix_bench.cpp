// Measures Spurfix side by side with the tools a user would pick instead, on generated
// music libraries. Every comparison is a series of pairs run back to back, the order
// alternating; a row gives the median of the per-pair ratios with their min and max,
// wall time and CPU time, and the machine's load before and after.
//
// Usage: spurfix_bench [--large] [--preview-only] [--runs N] [--data DIR] [--results FILE]
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/list_assembly.h"
#include "engine/list_file.h"
#include "engine/player_order.h"
#include "export/pdf/cd_insert.h"
#include "library_tree.h"
#include "measure.h"
#include "platform/collation.h"
#include "ui/about_dialog.h"
#include "ui/choose_dir_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/preview_model.h"
#include "ui/spurfix_application.h"
#include "ui/tform1.h"

extern char** environ;

namespace spurfix::bench {
namespace {

// Wall and CPU seconds of one run, and the peak resident set where a process was run.
struct Cost {
    double wall = 0;
    double cpu = 0;
    long peakKb = 0;
};

std::string SelfPath() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "spurfix_bench";
}

double CpuSecondsOf(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The cost of work done in this process, all its threads included.
Cost InProcess(const std::function<void()>& work) {
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    work();
    Cost cost;
    cost.wall = std::chrono::duration<double>(Clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    cost.cpu = CpuSecondsOf(after) - CpuSecondsOf(before);
    return cost;
}

// The cost of a process, its children included (wait4 counts the ones it waited for).
// It is started by a fresh copy of this program, which measures it: a process started
// from this one would count this one's memory as its own peak.
Cost Process(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> all = {SelfPath(), "--rusage-of"};
    all.insert(all.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& arg : all) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) {
        envText.emplace_back(*e);
    }
    std::vector<char*> env;
    for (std::string& e : envText) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    int channel[2];
    Cost cost;
    if (pipe(channel) != 0) {
        return cost;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, channel[0]);
    pid_t pid = 0;
    const bool started =
        posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(channel[1]);
    char text[128] = {};
    size_t got = 0;
    for (ssize_t n; started && (n = read(channel[0], text + got, sizeof text - 1 - got)) > 0;) {
        got += static_cast<size_t>(n);
    }
    close(channel[0]);
    int status = 0;
    if (started) {
        waitpid(pid, &status, 0);
    }
    std::istringstream(text) >> cost.wall >> cost.cpu >> cost.peakKb;
    if (!started || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s ended with status %d\n", argv[0].c_str(), status);
    }
    return cost;
}

// In the fresh copy: runs the command with its output thrown away, and prints its wall
// and CPU seconds and its peak resident set in KiB.
int RusageOf(char** argv) {
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%.6f %.6f %ld\n", wall, CpuSecondsOf(usage), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::vector<std::string> Shell(const std::string& command) {
    return {"sh", "-c", command};
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

std::string Commit() {
    const std::string command =
        "git -C '" SPURFIX_SOURCE_DIR "' describe --always --dirty --abbrev=12 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char text[64] = {};
    if (!pipe || std::fgets(text, sizeof text, pipe.get()) == nullptr) {
        return "unknown";
    }
    std::string commit = text;
    commit.erase(commit.find_last_not_of("\n") + 1);
    return commit;
}

std::string SpurfixExecutable() {
    // The benchmark lies in build/bench/, the program in build/.
    const std::string self = SelfPath();
    return self.substr(0, self.rfind('/')) + "/../spurfix";
}

class NullObserver : public WalkObserver {
  public:
    void folderEntered(std::string_view) override {}
    void showCounts(int32_t, int32_t) override {}
    bool stopRequested() override { return false; }
};

// Answers the export's dialogs: the file name, then OK.
class BenchPrompter : public ui::Prompter {
  public:
    QString fileName;
    ui::Answer message(ui::BoxKind, const QString&) override { return ui::Answer::Ok; }
    std::optional<QString> askSaveFileName(const ui::SaveRequest&) override { return fileName; }
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
    }
    void read(const std::string& tree) {
        form.openFolder(tree);
        form.ForwardToInputClick();
        form.StartInputPanelClick();
    }
};

class Table {
  public:
    explicit Table(std::string heading) {
        line("\n### " + heading + "\n");
        line(
            "| row | Spurfix wall | peer wall | ratio wall: median (min-max) | Spurfix CPU | "
            "peer CPU | ratio CPU: median (min-max) |");
        line("|---|---|---|---|---|---|---|");
    }
    void pairRow(const std::string& what, const std::vector<Cost>& ours,
                 const std::vector<Cost>& peer) {
        std::vector<double> wallRatio;
        std::vector<double> cpuRatio;
        std::vector<double> ourWall, ourCpu, peerWall, peerCpu;
        for (size_t i = 0; i < ours.size() && i < peer.size(); ++i) {
            wallRatio.push_back(ours[i].wall / peer[i].wall);
            cpuRatio.push_back(ours[i].cpu / std::max(peer[i].cpu, 1e-6));
            ourWall.push_back(ours[i].wall);
            ourCpu.push_back(ours[i].cpu);
            peerWall.push_back(peer[i].wall);
            peerCpu.push_back(peer[i].cpu);
        }
        const Spread w = SpreadOf(wallRatio);
        const Spread c = SpreadOf(cpuRatio);
        char text[512];
        std::snprintf(text, sizeof text,
                      "| %s | %.0f ms | %.0f ms | **%.2f** (%.2f-%.2f) | %.0f ms | %.0f ms | "
                      "**%.2f** (%.2f-%.2f) |",
                      what.c_str(), SpreadOf(ourWall).median * 1000,
                      SpreadOf(peerWall).median * 1000, w.median, w.min, w.max,
                      SpreadOf(ourCpu).median * 1000, SpreadOf(peerCpu).median * 1000, c.median,
                      c.min, c.max);
        line(text);
    }
    void soloRow(const std::string& what, const std::vector<Cost>& ours) {
        std::vector<double> wall, cpu;
        for (const Cost& cost : ours) {
            wall.push_back(cost.wall);
            cpu.push_back(cost.cpu);
        }
        const Spread w = SpreadOf(wall);
        const Spread c = SpreadOf(cpu);
        char text[512];
        std::snprintf(text, sizeof text,
                      "| %s | %.0f ms (%.0f-%.0f) | | | %.0f ms (%.0f-%.0f) | | |", what.c_str(),
                      w.median * 1000, w.min * 1000, w.max * 1000, c.median * 1000, c.min * 1000,
                      c.max * 1000);
        line(text);
    }
    void note(const std::string& text) { line("\n" + text); }
    [[nodiscard]] std::string text() const { return text_.str(); }

  private:
    void line(const std::string& text) {
        text_ << text << "\n";
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    std::ostringstream text_;
};

// Runs `ours` and `peer` in pairs, the order alternating.
void Pairs(int runs, const std::function<Cost()>& ours, const std::function<Cost()>& peer,
           std::vector<Cost>& ourCosts, std::vector<Cost>& peerCosts) {
    for (int run = 0; run < runs; ++run) {
        if (run % 2 == 0) {
            peerCosts.push_back(peer());
            ourCosts.push_back(ours());
        } else {
            ourCosts.push_back(ours());
            peerCosts.push_back(peer());
        }
    }
}

// The stop button clicked while a reading runs, the click arriving from outside the
// program as a mouse click does: through a descriptor that the event loop watches,
// written by another thread. From the write to the end of the reading.
std::vector<double> StopLatencies(Window& window, const std::string& tree, double readingSeconds,
                                  int stops) {
    std::vector<double> latencies;
    for (int i = 0; i < stops; ++i) {
        int channel[2];
        if (pipe(channel) != 0) {
            break;
        }
        Clock::time_point clicked;
        QSocketNotifier notifier(channel[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            char byte = 0;
            (void)!read(channel[0], &byte, 1);
            notifier.setEnabled(false);
            QPushButton* stop = window.form.StopInput;
            const QPointF at = stop->rect().center();
            QMouseEvent press(QEvent::MouseButtonPress, at, stop->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, at, stop->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(stop, &press);
            QApplication::sendEvent(stop, &release);
        });
        // Somewhere between a fifth and four fifths into the reading.
        const auto delay = std::chrono::duration<double>(readingSeconds * (0.2 + 0.6 * i / stops));
        std::thread clicker([&] {
            std::this_thread::sleep_for(delay);
            clicked = Clock::now();
            (void)!write(channel[1], "x", 1);
        });
        window.read(tree);
        const auto ended = Clock::now();
        clicker.join();
        if (window.form.InputText->text() == QStringLiteral("Einlesen abgebrochen!")) {
            latencies.push_back(std::chrono::duration<double>(ended - clicked).count());
        }
        close(channel[0]);
        close(channel[1]);
    }
    return latencies;
}

void Measure(const std::string& tree, size_t entries, int runs, const std::string& scratch,
             std::ostringstream& report) {
    Table table(std::to_string(entries) + " entries, " + std::to_string(runs) +
                " pairs a row, warm cache");
    const std::string findL = "find -L '" + tree + "' > /dev/null";
    const std::string bfsL = "bfs -L '" + tree + "' > /dev/null";
    const std::string pipeline =
        "find -L '" + tree + "' | sort -f > '" + scratch + "/pipeline.txt'";
    Process(Shell(findL));  // warms the cache
    const std::string loadBefore = LoadAverage();

    NullObserver observer;
    ScanList scanList;
    auto walk = [&] { return InProcess([&] { ReadSource(tree + "/", scanList, observer); }); };
    std::vector<Cost> walkVsFind, find, walkVsBfs, bfs;
    Pairs(
        runs, walk, [&] { return Process(Shell(findL)); }, walkVsFind, find);
    table.pairRow("engine walk / `find -L`", walkVsFind, find);
    Pairs(
        runs, walk, [&] { return Process(Shell(bfsL)); }, walkVsBfs, bfs);
    table.pairRow("engine walk / `bfs -L`", walkVsBfs, bfs);

    BenchPrompter prompter;
    prompter.fileName = QString::fromStdString(scratch + "/spurfix.txt");
    ui::SetPrompter(&prompter);
    auto window = std::make_unique<Window>();
    std::vector<Cost> reading, findAgain;
    Pairs(
        runs, [&] { return InProcess([&] { window->read(tree); }); },
        [&] { return Process(Shell(findL)); }, reading, findAgain);
    table.pairRow("reading through the window / `find -L`", reading, findAgain);

    const std::string spurfix = SpurfixExecutable();
    std::vector<Cost> job, sortPipeline;
    Pairs(
        runs,
        [&] {
            return Process({spurfix, "--ausgabe", scratch + "/job.txt", tree}, {});
        },
        [&] { return Process(Shell(pipeline)); }, job, sortPipeline);
    table.pairRow("whole job, one process / `find -L | sort -f > file`", job, sortPipeline);

    std::vector<Cost> sorted, exported;
    for (int run = 0; run < runs; ++run) {
        window->form.CheckSortData->setChecked(true);
        sorted.push_back(InProcess([&] { window->form.ForwardToPreviewClick(); }));
        exported.push_back(InProcess(
            [&] { WriteListFile(scratch + "/export.txt", window->form.previewModel().lines()); }));
    }
    table.soloRow("sorted preview", sorted);
    table.soloRow("export of the sorted preview", exported);
    // A CD insert of 3,000 lines: the preview of the first scan lines.
    {
        ScanList first;
        for (size_t i = 0; i < scanList.size() && first.size() < 3200; ++i) {
            first.append(scanList[i]);
        }
        ListOptions options;
        const platform::Collator collator(platform::CollationLocaleFromEnvironment());
        const PreviewList small =
            BuildPreview(first, static_cast<int32_t>(first.size()), options, collator);
        std::vector<Cost> smallInsert;
        QByteArray smallPdf;
        for (int run = 0; run < runs; ++run) {
            smallInsert.push_back(InProcess(
                [&] { smallPdf = exporting::RenderCdInsert(small, QStringLiteral("CD")); }));
        }
        table.soloRow("CD insert (PDF) of " + std::to_string(small.size()) + " lines, " +
                          std::to_string(smallPdf.size() / 1024) + " KiB",
                      smallInsert);
    }
    std::vector<Cost> insert;
    QByteArray pdf;
    for (int run = 0; run < std::min(runs, 3); ++run) {
        insert.push_back(InProcess([&] {
            pdf = exporting::RenderCdInsert(window->form.previewModel().lines(),
                                            QStringLiteral("CD"));
        }));
    }
    table.soloRow(
        "CD insert (PDF) of the sorted preview, " + std::to_string(pdf.size() / 1024) + " KiB",
        insert);

    // Memory of the whole job: its peak beyond an idle start, less the path text.
    size_t pathBytes = 0;
    for (size_t i = 0; i < scanList.size(); ++i) {
        pathBytes += scanList[i].size();
    }
    Process(Shell("mkdir -p '" + scratch + "/empty'"));
    const Cost idle =
        Process({spurfix, "--ausgabe", scratch + "/idle.txt", scratch + "/empty"}, {});
    std::vector<double> peaks;
    for (const Cost& cost : job) {
        peaks.push_back(static_cast<double>(cost.peakKb));
    }
    const double growth = (SpreadOf(peaks).median - static_cast<double>(idle.peakKb)) * 1024;
    char memory[256];
    std::snprintf(memory, sizeof memory,
                  "Memory of the whole job: peak %.0f MiB, an idle start %.0f MiB, path text "
                  "%.0f MiB for %zu lines: **%.0f bytes per entry beyond the path text**.",
                  SpreadOf(peaks).median / 1024, static_cast<double>(idle.peakKb) / 1024,
                  static_cast<double>(pathBytes) / (1024 * 1024), scanList.size(),
                  (growth - static_cast<double>(pathBytes)) /
                      static_cast<double>(std::max<size_t>(scanList.size(), 1)));
    table.note(memory);

    // Stops under load: another process keeps one core busy.
    const double readingSeconds = SpreadOf([&] {
                                      std::vector<double> w;
                                      for (const Cost& c : reading)
                                          w.push_back(c.wall);
                                      return w;
                                  }())
                                      .median;
    pid_t load = 0;
    const char* busy[] = {"sh", "-c", "while :; do :; done", nullptr};
    posix_spawnp(&load, "sh", nullptr, nullptr, const_cast<char**>(busy), environ);
    const std::vector<double> stops = StopLatencies(*window, tree, readingSeconds, 10);
    kill(load, SIGKILL);
    waitpid(load, nullptr, 0);
    const Spread s = SpreadOf(stops);
    char stopText[256];
    std::snprintf(stopText, sizeof stopText,
                  "Stop under load (a second process keeps a core busy), %zu clicks: median "
                  "%.1f ms, **worst %.1f ms**, best %.1f ms.",
                  stops.size(), s.median * 1000, s.max * 1000, s.min * 1000);
    table.note(stopText);
    window.reset();
    ui::SetPrompter(nullptr);
    table.note("Load before: " + loadBefore + "; after: " + LoadAverage() + ".");
    report << table.text();
}

// A scan list of about a million entries as a reading of a music library delivers it:
// artist folders with two loose songs beside ten album folders of eleven songs and a
// cover, entries in no order of their names.
ScanList LibraryScanList() {
    ScanList scanList;
    const std::string root = "/media/cd/Musik/";
    for (int artist = 0; artist < 7600; ++artist) {
        const std::string artistFolder =
            root + "K\xc3\xbcnstler " + std::to_string((artist * 7919) % 7600) + "/";
        scanList.append(artistFolder);
        scanList.append(artistFolder, "Single B.mp3");
        for (int album = 0; album < 10; ++album) {
            const std::string albumFolder =
                artistFolder + "Album " + std::to_string((album * 7) % 10) + "/";
            scanList.append(albumFolder);
            for (int track = 0; track < 11; ++track) {
                const int number = (track * 5) % 11 + 1;
                scanList.append(albumFolder, (number < 10 ? "0" : "") + std::to_string(number) +
                                                 " - Titel " + std::to_string(number) + ".mp3");
            }
            scanList.append(albumFolder, "cover.jpg");
        }
        scanList.append(artistFolder, "Single A.mp3");
    }
    return scanList;
}

// The player's orders of a million entries beside the sort of the same list, which
// "wie eingelesen" does with "Verzeichnisse und Dateien sortieren".
void MeasureOrders(int runs, std::ostringstream& report) {
    const ScanList scanList = LibraryScanList();
    Table table(std::to_string(scanList.size()) +
                " entries in memory, the order of the list alone, " + std::to_string(runs) +
                " pairs a row");
    const std::string loadBefore = LoadAverage();
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    const auto sort = [&] { return InProcess([&] { (void)SortedOrder(scanList, collator); }); };
    const struct {
        const char* what;
        PlayOrder order;
        const char* fileSystem;
    } rows[] = {
        {"\"CD-Spieler: Ordner f\xc3\xbcr Ordner\", to burn (ISO 9660 record order) / the sort",
         PlayOrder::FolderByFolder, "ext4"},
        {"\"Autoradio: Ebene f\xc3\xbcr Ebene\", to burn (ISO 9660 record order) / the sort",
         PlayOrder::LevelByLevel, "ext4"},
        {"\"CD-Spieler: Ordner f\xc3\xbcr Ordner\", from a disc (its own order) / the sort",
         PlayOrder::FolderByFolder, "iso9660"},
        {"\"Autoradio: Ebene f\xc3\xbcr Ebene\", from a disc (its own order) / the sort",
         PlayOrder::LevelByLevel, "iso9660"},
    };
    for (const auto& row : rows) {
        std::vector<Cost> reorder, sorted;
        Pairs(
            runs,
            [&] {
                return InProcess([&] {
                    (void)PlayerOrder(scanList, "/media/cd/Musik/", row.order, row.fileSystem);
                });
            },
            sort, reorder, sorted);
        table.pairRow(row.what, reorder, sorted);
    }
    table.note("Load before: " + loadBefore + "; after: " + LoadAverage() + ".");
    report << table.text();
}

// The sorted preview of a million entries: the build as it ran before on the window's
// thread, without progress, beside the build with its progress and stop checks; then
// the whole "Weiter" to the preview through the window, which builds beside its thread;
// then stops asked for at random moments, from another thread as "Abbrechen" does, to
// the moment the build has ended.
class BenchBuildProgress : public BuildProgress {
  public:
    void report(uint64_t done, uint64_t total) override {
        done_.store(done, std::memory_order_relaxed);
        (void)total;
    }
    [[nodiscard]] bool stopRequested() const override {
        return stop.load(std::memory_order_relaxed);
    }
    std::atomic<bool> stop{false};

  private:
    std::atomic<uint64_t> done_{0};
};

void MeasurePreview(int runs, std::ostringstream& report) {
    const ScanList scanList = LibraryScanList();
    Table table("The sorted preview of " + std::to_string(scanList.size()) +
                " entries in memory, " + std::to_string(runs) + " pairs a row");
    const std::string loadBefore = LoadAverage();
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    ListOptions options;  // sorted, headings, numbered: the wizard's defaults
    const auto filesFound = static_cast<int32_t>(scanList.size());
    std::vector<Cost> withChecks, plain;
    Pairs(
        runs,
        [&] {
            return InProcess([&] {
                BenchBuildProgress progress;
                (void)BuildPreview(scanList, filesFound, options, collator, {}, nullptr, nullptr,
                                   &progress);
            });
        },
        [&] {
            return InProcess([&] { (void)BuildPreview(scanList, filesFound, options, collator); });
        },
        withChecks, plain);
    table.pairRow("sorted preview with progress and stop checks / without (the build as before)",
                  withChecks, plain);

    // Through the window: the scan list as a reading left it, then "Weiter".
    {
        BenchPrompter prompter;
        ui::SetPrompter(&prompter);
        auto window = std::make_unique<Window>();
        window->form.ScanList = LibraryScanList();
        window->form.CheckSortData->setChecked(true);
        std::vector<Cost> shown;
        int panelsSeen = 0;
        for (int run = 0; run < runs; ++run) {
            window->form.PageControl1->setCurrentWidget(window->form.Sheet_Dirs);
            // The window's own timer fires while the list is built.
            int ticks = 0;
            QTimer ticking;
            ticking.setInterval(10);
            QObject::connect(&ticking, &QTimer::timeout,
                             [&] { ticks += window->form.isWorkingInBackground(); });
            ticking.start();
            shown.push_back(InProcess([&] { window->form.ForwardToPreviewClick(); }));
            panelsSeen += ticks > 0;
        }
        table.soloRow("sorted preview through the window (\"Weiter\", built beside its thread)",
                      shown);
        table.note("The window's timer fired during the build in " + std::to_string(panelsSeen) +
                   " of " + std::to_string(runs) + " runs.");
        window.reset();
        ui::SetPrompter(nullptr);
    }

    // Stops at random moments of the build, asked for from another thread.
    std::vector<double> plainWalls;
    for (const Cost& cost : plain) {
        plainWalls.push_back(cost.wall);
    }
    const double buildSeconds = SpreadOf(plainWalls).median;
    std::mt19937 random(20261211);
    // Early enough that under load a build rarely ends before its stop; ten stops.
    std::uniform_real_distribution<double> moment(0.02, 0.6);
    std::vector<double> latencies;
    int completed = 0;
    for (int i = 0; i < 30 && latencies.size() < 10; ++i) {
        BenchBuildProgress progress;
        Clock::time_point asked;
        const auto delay = std::chrono::duration<double>(buildSeconds * moment(random));
        std::thread asker([&] {
            std::this_thread::sleep_for(delay);
            asked = Clock::now();
            progress.stop.store(true, std::memory_order_relaxed);
        });
        bool stopped = false;
        try {
            (void)BuildPreview(scanList, filesFound, options, collator, {}, nullptr, nullptr,
                               &progress);
        } catch (const BuildStopped&) {
            stopped = true;
        }
        const auto ended = Clock::now();
        asker.join();
        if (stopped) {
            latencies.push_back(std::chrono::duration<double>(ended - asked).count());
        } else {
            ++completed;
        }
    }
    const Spread s = SpreadOf(latencies);
    char stopText[320];
    std::snprintf(stopText, sizeof stopText,
                  "Stop of the build, %zu stops at random moments (%d builds ended before their "
                  "stop): from the request to the build's end median %.2f ms, **worst %.2f ms**, "
                  "best %.2f ms. Through the window a click waits in addition for its next look "
                  "at the work, every 25 ms.",
                  latencies.size(), completed, s.median * 1000, s.max * 1000, s.min * 1000);
    table.note(stopText);
    table.note("Load before: " + loadBefore + "; after: " + LoadAverage() + ".");
    report << table.text();
}

// The walk's open descriptors at their peak, counted in /proc/self/fd by a thread that
// looks every 0.2 ms while the walk runs, beside what was open before it.
void MeasureDescriptors(const std::string& data, bool large, std::ostringstream& report) {
    auto openNow = [] {
        size_t count = 0;
        if (DIR* fds = opendir("/proc/self/fd")) {
            while (readdir(fds) != nullptr) {
                ++count;
            }
            closedir(fds);
        }
        return count;
    };
    const std::string chain = data + "/link-chain";
    if (access((chain + "/quelle/start").c_str(), F_OK) != 0) {
        // 2,000 folders, each reached only through a link from the one before.
        Process(Shell("mkdir -p '" + chain + "/quelle/kette'"));
        for (int i = 0; i < 2000; ++i) {
            const std::string folder = chain + "/quelle/kette/d" + std::to_string(i);
            mkdir(folder.c_str(), 0755);
            close(open((folder + "/lied.mp3").c_str(), O_WRONLY | O_CREAT, 0644));
            (void)!symlink(("../d" + std::to_string(i + 1)).c_str(), (folder + "/next").c_str());
        }
        (void)!symlink("kette/d0", (chain + "/quelle/start").c_str());
    }
    std::vector<std::pair<std::string, std::string>> trees{
        {"2,000-deep link chain", chain + "/quelle/"}};
    const std::string library = data + (large ? "/library-1m" : "/library-100k");
    const size_t entries =
        EnsureLibrary(library, large ? LibraryShape{8000, 10, 11} : LibraryShape{800, 10, 11});
    trees.emplace_back(std::to_string(entries) + "-entry library", library + "/");
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    std::ostringstream text;
    text << "\n### Open descriptors of the walk at their peak\n\n"
         << "Limit of open files: " << limit.rlim_cur
         << "; the walk's budget is a quarter of it, never more than 256: "
         << std::min<rlim_t>(256, limit.rlim_cur / 4) << ".\n\n"
         << "| tree | lines | open before | peak during the walk | peak beyond before |\n"
         << "|---|---|---|---|---|\n";
    for (const auto& [what, source] : trees) {
        NullObserver observer;
        ScanList scanList;
        const size_t before = openNow();
        std::atomic<bool> walking{true};
        size_t peak = before;
        std::thread sampler([&] {
            while (walking.load()) {
                peak = std::max(peak, openNow());
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        ReadSource(source, scanList, observer);
        walking.store(false);
        sampler.join();
        // The sampler's own look at /proc/self/fd holds one descriptor.
        const size_t ownLook = 1;
        text << "| " << what << " | " << scanList.size() << " | " << before << " | "
             << peak - ownLook << " | " << (peak - ownLook - std::min(peak - ownLook, before))
             << " |\n";
    }
    std::printf("%s", text.str().c_str());
    report << text.str();
}
}  // namespace
}  // namespace spurfix::bench

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--rusage-of") {
        return spurfix::bench::RusageOf(argv + 2);
    }
    bool large = false;
    bool ordersOnly = false;
    bool previewOnly = false;
    int runs = 7;
    std::string data = "/tmp/spurfix-bench";
    std::string results;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--large") {
            large = true;
        } else if (arg == "--preview-only") {
            previewOnly = true;
        } else if (arg == "--orders-only") {
            ordersOnly = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else if (arg == "--results" && i + 1 < argc) {
            results = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--large] [--orders-only] [--preview-only] [--runs N] [--data "
                         "DIR] [--results "
                         "FILE]\n",
                         argv[0]);
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    spurfix::ui::SpurfixApplication application(argc, argv);
    spurfix::ui::ApplyLook(application);

    using namespace spurfix::bench;
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::ostringstream report;
    report << "# Benchmark\n\n"
           << "Date: " << date << "; commit " << Commit() << "\n\nMachine: " << MachineDescription()
           << "\n\n"
           << "Each row pairs Spurfix with a peer run right before or after it (the order "
              "alternating); the ratio is Spurfix's time divided by the peer's, as the median "
              "of the pairs with their min and max. CPU time counts every thread and child "
              "process. Peers: `find -L` and `bfs -L` printing to /dev/null; for the whole job, "
              "`find -L | sort -f` into a file.\n";
    std::printf("%s", report.str().c_str());
    if (previewOnly) {
        MeasurePreview(runs, report);
        MeasureDescriptors(data, large, report);
        if (!results.empty()) {
            std::ofstream(results) << report.str();
        }
        return 0;
    }
    MeasureOrders(runs, report);
    if (ordersOnly) {
        return 0;
    }
    const std::string scratch = data + "/scratch";
    std::system(("mkdir -p '" + scratch + "'").c_str());
    const std::string library = data + "/library-100k";
    Measure(library, EnsureLibrary(library, {800, 10, 11}), runs, scratch, report);
    if (large) {
        const std::string big = data + "/library-1m";
        Measure(big, EnsureLibrary(big, {8000, 10, 11}), std::max(3, runs / 2 + 1), scratch,
                report);
    }
    if (!results.empty()) {
        std::ofstream(results) << report.str();
        std::printf("\nwritten to %s\n", results.c_str());
    }
    return 0;
}
