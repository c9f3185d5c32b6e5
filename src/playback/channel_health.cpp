#include "playback/channel_health.h"

#include <map>

#include "platform/text.h"
#include "state/local_sources.h"

namespace qova::playback {
namespace {

// The stream address of a directory record: its fourth field.
constexpr std::size_t kAddressField = 3;

std::string addressOf(std::string_view record) {
    std::string_view address;
    platform::fieldAt(record, kAddressField, address);
    return std::string(address);
}

// Tabs and line breaks would break the file's lines.
std::string oneLine(std::string_view text) {
    std::string line(platform::firstBytes(text, kMaxMarkLineBytes / 2));
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return line;
}

}  // namespace

ChannelHealth::ChannelHealth(state::MainContext& ctx, platform::StreamChecker& checker)
    : ctx_(ctx), checker_(checker) {}

ChannelHealth::~ChannelHealth() {
    if (running())
        checker_.cancelAll();
}

std::string ChannelHealth::markText(const Mark& mark) {
    return "No answer at " + mark.when + (mark.reason.empty() ? "" : ": " + mark.reason);
}

void ChannelHealth::load() {
    const auto text = ctx_.controls.files.read(kHealthFile);
    file_ =
        HealthFile::read(text ? platform::withoutByteOrderMark(text->view()) : std::string_view());
    marks_ = file_.marks();
}

void ChannelHealth::save() {
    HealthFile file = file_.written(marks_);
    const std::string text = file.text();
    // Never a file for nothing: a program that never checked writes nothing new.
    if (text.empty() && !ctx_.controls.files.exists(kHealthFile))
        return;
    // Written in the background: the end of a check and a channel that plays wait for no disk. A
    // mark is a hint: one that cannot be kept is checked again another time, and the file that
    // was there stays.
    ctx_.controls.files.replaceInBackground(kHealthFile, text);
    file_ = std::move(file);
}

void ChannelHealth::checkShown() {
    cancel();
    // Each address once; a file here is looked at where one of its channels may name it, as
    // the player would play it.
    state::LocalSources sources(ctx_);
    std::map<std::string, std::size_t, std::less<>> queued;
    for (const std::string& record : ctx_.channels.colChannels()) {
        std::string address = addressOf(record);
        if (address.empty())
            continue;
        const auto [at, added] = queued.try_emplace(address, queue_.size());
        if (added)
            queue_.push_back({std::move(address), false});
        Queued& check = queue_[at->second];
        check.localFileAllowed = check.localFileAllowed || sources.allowLocalFile(record);
    }
    ++check_;
    done_ = 0;
    failed_ = 0;
    cancelled_ = false;
    total_ = static_cast<int>(queue_.size());
    startNext();
    if (onProgress)
        onProgress();
}

void ChannelHealth::cancel() {
    if (!running())
        return;
    ++check_;
    cancelled_ = true;
    queue_.clear();
    underWay_ = 0;
    checker_.cancelAll();
    save();
    if (onProgress)
        onProgress();
}

void ChannelHealth::startNext() {
    while (underWay_ < kAtOnce && !queue_.empty()) {
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        ++underWay_;
        checker_.check(next.address, next.localFileAllowed,
                       [this, address = next.address, check = check_](auto result) {
                           if (check == check_)
                               checked(address, std::move(result));
                       });
    }
}

void ChannelHealth::checked(const std::string& address, platform::StreamChecker::Result result) {
    --underWay_;
    ++done_;
    using Verdict = platform::StreamChecker::Verdict;
    if (result.verdict == Verdict::Fails) {
        ++failed_;
        marks_.insert_or_assign(address, Mark{oneLine(result.when), oneLine(result.reason)});
        showMark(address);
    } else if (result.verdict == Verdict::Answers && marks_.erase(address) > 0) {
        showMark(address);
    }
    startNext();
    if (!running())
        save();
    if (onProgress)
        onProgress();
}

std::string ChannelHealth::progressText() const {
    const std::string checked = std::to_string(done_) + " of " + std::to_string(total_);
    if (running())
        return "Checking channels: " + checked;
    const std::string found = failed_ == 0   ? "all answered."
                              : failed_ == 1 ? "1 did not answer."
                                             : std::to_string(failed_) + " did not answer.";
    if (cancelled_)
        return "Check cancelled after " + checked + ": " + found;
    return "Checked " + std::to_string(done_) + (done_ == 1 ? " channel: " : " channels: ") + found;
}

void ChannelHealth::played(std::string_view record) {
    const std::string address = addressOf(record);
    if (marks_.erase(address) == 0)
        return;
    showMark(address);
    save();
}

void ChannelHealth::showMarks() {
    if (marks_.empty())
        return;
    const auto& records = ctx_.channels.colChannels();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto found = marks_.find(addressOf(records[i]));
        if (found == marks_.end())
            continue;
        const int node = static_cast<int>(i) + 1;
        ctx_.controls.trView.setNodeForeColour(node, kMarkedForeColour);
        ctx_.controls.trView.setNodeToolTip(node, markText(found->second));
    }
}

std::size_t ChannelHealth::markedIn(std::string_view lines) const {
    std::size_t marked = 0;
    if (marks_.empty())
        return marked;
    platform::LineReader reader(lines);
    std::string_view line;
    while (reader.next(line)) {
        std::string_view address;
        if (platform::fieldAt(line, kAddressField, address) && marks_.find(address) != marks_.end())
            ++marked;
    }
    return marked;
}

void ChannelHealth::showMark(const std::string& address) {
    const auto found = marks_.find(address);
    const auto& records = ctx_.channels.colChannels();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (addressOf(records[i]) != address)
            continue;
        const int node = static_cast<int>(i) + 1;
        ctx_.controls.trView.setNodeForeColour(node, found == marks_.end()
                                                         ? ctx_.controls.cmbCountry.foreColour()
                                                         : kMarkedForeColour);
        ctx_.controls.trView.setNodeToolTip(
            node, found == marks_.end() ? std::string() : markText(found->second));
    }
}

}  // namespace qova::playback
