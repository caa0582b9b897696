#include "engine/song_line.h"

#include <algorithm>

#include "engine/name_rules.h"

namespace spurfix {

namespace {

constexpr std::string_view kFolderTime = "%DAUER%";
// Stands for a folder's time in a label until its songs are known. No file or folder
// name holds a NUL byte, so it cannot come from a name.
constexpr std::string_view kFolderTimeMark{"\0", 1};

bool UsesFolderTime(const ListOptions& options) {
    return options.folderLabels && options.labelTemplate.find(kFolderTime) != std::string::npos;
}

// The template's placeholders in one pass, left to right.
std::string FillTemplate(std::string_view pattern, const SongInfo& song) {
    const std::pair<std::string_view, const std::string*> fields[] = {
        {"%INTERPRET%", &song.artist}, {"%TITELNR%", &song.track}, {"%TITEL%", &song.title},
        {"%ALBUM%", &song.album},      {"%JAHR%", &song.year},
    };
    std::string result;
    size_t pos = 0;
    while (pos < pattern.size()) {
        const size_t percent = pattern.find('%', pos);
        if (percent == std::string_view::npos) {
            break;
        }
        result.append(pattern.substr(pos, percent - pos));
        const auto field = std::find_if(std::begin(fields), std::end(fields), [&](const auto& f) {
            return pattern.substr(percent).starts_with(f.first);
        });
        if (field == std::end(fields)) {
            result.push_back('%');
            pos = percent + 1;
            continue;
        }
        result.append(*field->second);
        pos = percent + field->first.size();
    }
    return result.append(pattern.substr(std::min(pos, pattern.size())));
}

// A template filled from partial tags leaves separators and brackets with nothing
// between them ("Titel - ", "(, )"): those go, so that the line reads well.
std::string Tidied(std::string text) {
    constexpr std::pair<std::string_view, std::string_view> kRules[] = {
        {"( ", "("}, {" )", ")"}, {"(,", "("}, {",)", ")"}, {"()", ""},  {"[ ", "["}, {" ]", "]"},
        {"[,", "["}, {",]", "]"}, {"[]", ""},  {" ,", ","}, {",,", ","}, {"  ", " "},
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [from, to] : kRules) {
            for (size_t at; (at = text.find(from)) != std::string::npos; changed = true) {
                text.replace(at, from.size(), to);
            }
        }
    }
    constexpr std::string_view kEdge = " -/,.;:|";
    const size_t first = text.find_first_not_of(kEdge);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kEdge) - first + 1);
}

// A label whose folder time is not known loses the mark, the brackets right around it
// and the spaces it leaves at either end.
std::string WithoutFolderTime(std::string text) {
    for (size_t at; (at = text.find(kFolderTimeMark)) != std::string::npos;) {
        const bool bracketed = at > 0 && at + 1 < text.size() &&
                               ((text[at - 1] == '(' && text[at + 1] == ')') ||
                                (text[at - 1] == '[' && text[at + 1] == ']'));
        if (bracketed) {
            text.erase(at - 1, 3);
        } else {
            text.erase(at, 1);
        }
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

SongFactsWanted SongFactsFor(const ListOptions& options) {
    return {options.titlesFromTags, options.showPlayingTimes || UsesFolderTime(options)};
}

std::string PlayingTimeText(int64_t milliseconds, bool estimate) {
    const int64_t seconds = (milliseconds + 500) / 1000;
    std::string text = estimate ? "ca. " : "";
    const int64_t hours = seconds / 3600;
    const int64_t minutes = seconds / 60 % 60;
    const auto twoDigits = [](int64_t value) {
        return std::string(value < 10 ? "0" : "") + std::to_string(value);
    };
    if (hours > 0) {
        text.append(std::to_string(hours)).append(":").append(twoDigits(minutes));
    } else {
        text.append(std::to_string(minutes));
    }
    return text.append(":").append(twoDigits(seconds % 60));
}

TimedText SplitPlayingTime(const PreviewList& preview, size_t line, std::string_view text,
                           const SongInfoTable* times) {
    if (times == nullptr || preview.kind(line) != EntryKind::File || !preview.hasSourceLine(line)) {
        return {text, nullptr};
    }
    const SongInfo* song = times->find(preview.sourceLine(line));
    if (song == nullptr || song->milliseconds < 0) {
        return {text, nullptr};
    }
    const std::string suffix =
        " (" + PlayingTimeText(song->milliseconds, song->timeIsEstimate) + ")";
    if (!text.ends_with(suffix)) {
        return {text, nullptr};
    }
    text.remove_suffix(suffix.size());
    return {text, song};
}

std::optional<TotalTime> TotalPlayingTime(const PreviewList& preview, const SongInfoTable* times) {
    if (times == nullptr) {
        return std::nullopt;
    }
    TotalTime total;
    bool anySong = false;
    for (size_t i = 0; i < preview.size(); ++i) {
        if (preview.kind(i) != EntryKind::File) {
            continue;
        }
        const SongInfo* song =
            preview.hasSourceLine(i) ? times->find(preview.sourceLine(i)) : nullptr;
        if (song == nullptr || song->milliseconds < 0) {
            return std::nullopt;
        }
        total.milliseconds += song->milliseconds;
        total.estimate = total.estimate || song->timeIsEstimate;
        anySong = true;
    }
    return anySong ? std::optional(total) : std::nullopt;
}

std::string TagTitle(const SongInfo& song, std::string_view tagTemplate) {
    if (song.title.empty()) {
        return {};
    }
    return Tidied(FillTemplate(tagTemplate, song));
}

std::vector<uint32_t> SongLinesOf(const PreviewList& preview) {
    std::vector<uint32_t> lines;
    for (size_t i = 0; i < preview.size(); ++i) {
        if (preview.kind(i) == EntryKind::File && preview.hasSourceLine(i)) {
            lines.push_back(preview.sourceLine(i));
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

SongLineMaker::SongLineMaker(const ListOptions& options, const SongInfoTable* songs)
    : options_(options), songs_(songs), labelTemplate_(options.labelTemplate) {
    folderTimes_ = songs != nullptr && UsesFolderTime(options);
    for (size_t at; (at = labelTemplate_.find(kFolderTime)) != std::string::npos;) {
        labelTemplate_.replace(at, kFolderTime.size(), folderTimes_ ? kFolderTimeMark : "");
    }
}

bool SongLineMaker::songLine(uint32_t scanLine, std::string_view nameTitle, int32_t number,
                             int32_t width, std::string& line) const {
    const SongInfo* song = songs_ != nullptr ? songs_->find(scanLine) : nullptr;
    if (song == nullptr || (!options_.titlesFromTags && !options_.showPlayingTimes)) {
        return false;
    }
    std::string title = options_.titlesFromTags ? TagTitle(*song, options_.tagTitleTemplate) : "";
    const bool withTime = options_.showPlayingTimes && song->milliseconds >= 0;
    if (title.empty() && !withTime) {
        return false;
    }
    line.clear();
    if (number > 0) {
        line.append(PadLeft(number, width, '0')).append(" - ");
    }
    line.append(title.empty() ? nameTitle : std::string_view(title));
    if (withTime) {
        line.append(" (")
            .append(PlayingTimeText(song->milliseconds, song->timeIsEstimate))
            .append(")");
    }
    return true;
}

void SongLineMaker::finish(PreviewList& preview, const ScanList& scanList, int32_t width,
                           BuildSteps& steps) const {
    if (!folderTimes_) {
        return;
    }
    PreviewList finished(scanList, width);
    finished.reserve(preview.size());
    std::string label;
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        steps.step();
        const std::string text = preview.text(i);
        if (preview.kind(i) == EntryKind::File && preview.hasSourceLine(i)) {
            finished.appendFileWithTitle(preview.title(i, scratch), preview.number(i),
                                         preview.sourceLine(i));
            continue;
        }
        if (preview.kind(i) != EntryKind::DirectoryLabel ||
            text.find(kFolderTimeMark) == std::string::npos) {
            if (preview.hasSourceLine(i)) {
                finished.append(text, preview.kind(i), preview.sourceLine(i));
            } else {
                finished.append(text, preview.kind(i));
            }
            continue;
        }
        // The songs listed below this label, up to the next one.
        int64_t total = 0;
        bool known = true;
        bool estimate = false;
        for (size_t j = i + 1; j < preview.size() && preview.kind(j) == EntryKind::File; ++j) {
            steps.step();
            const SongInfo* song =
                preview.hasSourceLine(j) ? songs_->find(preview.sourceLine(j)) : nullptr;
            if (song == nullptr || song->milliseconds < 0) {
                known = false;
                break;
            }
            total += song->milliseconds;
            estimate = estimate || song->timeIsEstimate;
        }
        if (known) {
            const std::string time = PlayingTimeText(total, estimate);
            label.clear();
            size_t pos = 0;
            for (size_t at; (at = text.find(kFolderTimeMark, pos)) != std::string::npos;
                 pos = at + kFolderTimeMark.size()) {
                label.append(text, pos, at - pos).append(time);
            }
            label.append(text, pos);
        } else {
            label = WithoutFolderTime(text);
        }
        finished.append(label, EntryKind::DirectoryLabel, preview.sourceLine(i));
    }
    preview = std::move(finished);
}

}  // namespace spurfix
