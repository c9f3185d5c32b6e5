#pragma once

// Fakes of the platform controls, for testing the logic without a display or a network. They
// keep what they were given and raise their events only when a test asks them to.

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_combo_box.h"
#include "platform/desktop.h"
#include "platform/form_window.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/picture_button.h"
#include "platform/player_overlay.h"
#include "platform/player_probe.h"
#include "platform/secondary_windows.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/stream_checker.h"
#include "platform/text.h"
#include "platform/tree_view.h"
#include "platform/web_browser.h"

namespace qova::fakes {

class FakeWebBrowser : public platform::WebBrowser {
  public:
    void navigate(const std::string& address) override { navigations.push_back(address); }
    void navigate2(const std::string& filePath) override { navigations.push_back(filePath); }
    int readyState() const override { return readyState_; }
    bool hasDocument() const override { return hasDocument_; }
    const std::string& bodyText() const override { return body_; }
    std::string title() const override { return title_; }
    void setTextTransform(TextTransform transform) override { transform_ = std::move(transform); }
    bool textFound() const override { return found_; }

    /// The page has loaded with this body text.
    void complete(const std::string& body, const std::string& title = "") {
        body_ = body;
        found_ = transform_ ? transform_(body_) : true;
        title_ = title;
        hasDocument_ = true;
        readyState_ = kReadyStateComplete;
        if (onDocumentComplete)
            onDocumentComplete(lastAddress());
    }
    /// The navigation failed: the error event, then the control's own error page.
    void fail(std::int32_t status) {
        if (onNavigateError)
            onNavigateError(lastAddress(), status);
        complete("This page can't be displayed");
    }
    std::string lastAddress() const { return navigations.empty() ? "" : navigations.back(); }

    std::vector<std::string> navigations;
    int readyState_ = kReadyStateUninitialized;
    bool hasDocument_ = false;
    std::string body_;
    std::string title_;
    TextTransform transform_;
    bool found_ = true;
};

class FakeTreeView : public platform::TreeView {
  public:
    struct Node {
        std::string text;
        int image = 0;
        platform::Colour back = platform::Colour::rgb(255, 255, 255);
        platform::Colour fore = platform::Colour::rgb(0, 0, 0);
        std::string tip;
    };

    int nodeCount() const override { return static_cast<int>(nodes.size()); }
    int addNode(const std::string& text, int image) override {
        Node added;
        added.text = text;
        added.image = image;
        nodes.push_back(std::move(added));
        return nodeCount();
    }
    void removeNode(int index) override {
        nodes.erase(nodes.begin() + (checked(index) - 1));
        if (selected == index) {
            selected = 0;
        } else if (selected > index) {
            --selected;
        }
    }
    void selectNode(int index) override { selected = checked(index); }
    int selectedIndex() const override { return selected; }
    std::string nodeText(int index) const override { return node(index).text; }
    int nodeImage(int index) const override { return node(index).image; }
    void setNodeImage(int index, int image) override { node(index).image = image; }
    platform::Colour nodeBackColour(int index) const override { return node(index).back; }
    platform::Colour nodeForeColour(int index) const override { return node(index).fore; }
    void setNodeBackColour(int index, platform::Colour c) override { node(index).back = c; }
    void setNodeForeColour(int index, platform::Colour c) override { node(index).fore = c; }
    void setNodeToolTip(int index, const std::string& text) override { node(index).tip = text; }
    std::string nodeToolTip(int index) const override { return node(index).tip; }
    void refresh() override { ++refreshes; }
    void setDisplayEnabled(bool enabled) override { display = enabled; }
    bool displayEnabled() const override { return display; }
    void setBackColour(platform::Colour c) override { back = c; }
    platform::Colour backColour() const override { return back; }
    void attachImageList() override { imageList = true; }
    bool imageListAttached() const override { return imageList; }

    /// A mouse click on node index (0: on empty space, the selection stays).
    void click(int index) {
        if (index != 0)
            selectNode(index);
        if (onClick)
            onClick();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Node& n : nodes)
            out.push_back(n.text);
        return out;
    }

    std::vector<Node> nodes;
    int selected = 0;
    int refreshes = 0;
    bool display = true;
    bool imageList = false;
    platform::Colour back = platform::Colour::rgb(255, 255, 255);

  private:
    int checked(int index) const {
        if (index < 1 || index > nodeCount())
            throw std::out_of_range("no tree node " + std::to_string(index));
        return index;
    }
    Node& node(int index) { return nodes[static_cast<std::size_t>(checked(index) - 1)]; }
    const Node& node(int index) const {
        return nodes[static_cast<std::size_t>(checked(index) - 1)];
    }
};

struct FakePicture : platform::PictureData {
    explicit FakePicture(std::string n) : name(std::move(n)) {}
    std::string name;
};

class FakePictureButton : public platform::PictureButton {
  public:
    explicit FakePictureButton(const std::string& name = "")
        : picture_(name.empty() ? nullptr : std::make_shared<FakePicture>(name)) {}
    platform::Picture picture() const override { return picture_; }
    void setPicture(platform::Picture p) override { picture_ = std::move(p); }
    std::string pictureName() const {
        const auto* p = dynamic_cast<const FakePicture*>(picture_.get());
        return p ? p->name : "";
    }

  private:
    platform::Picture picture_;
};

class FakeMessageBox : public platform::MessageBox {
  public:
    void show(const std::string& text) override {
        shown.push_back(text);
        if (whileOpen)
            whileOpen();
    }
    std::vector<std::string> shown;
    /// Runs while a box is open, as window events would.
    std::function<void()> whileOpen;
};

class FakePlayerProbe : public platform::PlayerProbe {
  public:
    platform::ProbeResult probePlayerControl(const std::string& progId) override {
        probed.push_back(progId);
        const auto it = results.find(progId);
        return it == results.end() ? platform::ProbeResult::Failure : it->second;
    }
    std::map<std::string, platform::ProbeResult> results;
    std::vector<std::string> probed;
};

class FakeShell : public platform::Shell {
  public:
    void open(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

/// Records every window shown; a test may look at the shared texts as each one loads.
class FakeSecondaryWindows : public platform::SecondaryWindows {
  public:
    void showCommon() override { show("common"); }
    void showAbout() override { show("about"); }
    void showSoftRequired() override { show("softRequired"); }
    std::vector<std::string> shown;
    std::function<void()> onShow;

  private:
    void show(const char* name) {
        shown.push_back(name);
        if (onShow)
            onShow();
    }
};

/// A media engine that plays nothing: it keeps what it was told, and a test moves its state and
/// stream title as the engine's events would.
class FakeMediaPlayer : public platform::MediaPlayer {
  public:
    void play(const std::string& address) override { played.push_back(address); }
    void stop() override { ++stops; }
    void expectSoundOnly(const std::string& address) override { soundOnly = address; }
    void allowLocalFile(const std::string& address) override { allowedLocalFile = address; }
    State state() const override { return state_; }
    int volume() const override { return volume_; }
    void setVolume(int percent) override { change(volume_, percent); }
    bool muted() const override { return muted_; }
    void setMuted(bool muted) override { change(muted_, muted); }
    std::string streamTitle() const override { return title_; }
    platform::StreamFacts facts() const override { return facts_; }
    // Held when the test says the stream can be.
    bool pause() override {
        if (!holdable)
            return false;
        paused_ = true;
        if (onStateChanged)
            onStateChanged();
        return true;
    }
    void resume() override {
        paused_ = false;
        if (onStateChanged)
            onStateChanged();
    }
    bool paused() const override { return paused_; }
    bool canSeek() const override { return holdable; }
    void seekBy(double seconds) override { seeks.push_back(seconds); }

    void becomes(State state) {
        state_ = state;
        if (onStateChanged)
            onStateChanged();
    }
    void tells(const platform::StreamFacts& facts) {
        facts_ = facts;
        if (onFactsChanged)
            onFactsChanged();
    }
    void announces(const std::string& title) {
        title_ = title;
        if (onTitleChanged)
            onTitleChanged();
    }

    std::string soundOnly;
    std::vector<std::string> played;
    int stops = 0;
    bool holdable = false;
    std::vector<double> seeks;
    std::string allowedLocalFile;

  private:
    template <typename T>
    void change(T& value, T to) {
        if (value == to)
            return;
        value = to;
        if (onVolumeChanged)
            onVolumeChanged();
    }
    State state_ = State::Stopped;
    bool paused_ = false;
    int volume_ = 100;
    bool muted_ = false;
    std::string title_;
    platform::StreamFacts facts_;
};

/// Keeps what the player area was told to show.
class FakeOverlay : public platform::PlayerOverlay {
  public:
    void showNowPlaying(const platform::NowPlaying& what, bool renew) override {
        nowPlaying = what;
        shown = true;
        renewals += renew ? 1 : 0;
    }
    void hideNowPlaying() override { shown = false; }
    void showVolume(int percent, bool muted) override { volumeNotes.push_back({percent, muted}); }

    platform::NowPlaying nowPlaying;
    bool shown = false;
    int renewals = 0;
    std::vector<std::pair<int, bool>> volumeNotes;
};

class FakeSettings : public platform::Settings {
  public:
    int intValue(std::string_view key, int fallback) const override {
        const auto found = values.find(std::string(key));
        return found == values.end() ? fallback : found->second;
    }
    void setIntValue(std::string_view key, int value) override {
        values[std::string(key)] = value;
        ++writes;
    }
    std::map<std::string, int> values;
    /// Every call, whether or not the value differs from the one kept.
    int writes = 0;
};

/// The desktop's side of the media keys: what it was told, and a hand to press its keys.
class FakeDesktopPlayer : public platform::DesktopPlayer {
  public:
    void setStatus(Status s) override { status = s; }
    void setTrack(const std::string& i, const std::string& t, const std::string& c) override {
        id = i;
        title = t;
        channel = c;
    }
    void setVolume(double v) override { volume = v; }
    void setCanSeek(bool can) override { canSeek = can; }

    Status status = Status::Stopped;
    bool canSeek = false;
    std::string id, title, channel;
    double volume = -1;
};

class FakeScreenSaver : public platform::ScreenSaver {
  public:
    void inhibit(const std::string&) override { inhibited = true; }
    void uninhibit() override { inhibited = false; }
    bool inhibited = false;
};

/// Lists by address; a fetch is answered when the test says so, with what it holds then.
/// Checks answered when the test says so, with the verdict it gives for the address.
class FakeStreamChecker : public platform::StreamChecker {
  public:
    void check(const std::string& address, bool localFileAllowed,
               std::function<void(Result)> done) override {
        if (localFileAllowed)
            localFilesAllowed.insert(address);
        underWay.emplace_back(address, std::move(done));
        mostAtOnce = std::max(mostAtOnce, static_cast<int>(underWay.size()));
    }
    void cancelAll() override {
        underWay.clear();
        ++cancels;
    }
    /// Answers the oldest check under way; false when none is.
    bool answerOne() {
        if (underWay.empty())
            return false;
        auto [address, done] = std::move(underWay.front());
        underWay.erase(underWay.begin());
        const auto found = verdicts.find(address);
        done(found == verdicts.end() ? Result{Verdict::Answers, {}, when} : found->second);
        return true;
    }

    std::map<std::string, Result> verdicts;
    /// The addresses checked as local files a channel may name.
    std::set<std::string> localFilesAllowed;
    std::string when = "2026-12-06 11:00";
    std::vector<std::pair<std::string, std::function<void(Result)>>> underWay;
    int mostAtOnce = 0;
    int cancels = 0;
};

class FakeFormWindow : public platform::FormWindow {
  public:
    int heightTwips() const override { return height; }
    void setHeightTwips(int twips) override { height = twips; }
    int height = 9120 + 690;
};

}  // namespace qova::fakes
