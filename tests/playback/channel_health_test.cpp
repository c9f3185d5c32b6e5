#include "playback/channel_health.h"

#include "directory/directory_fixture.h"

namespace qova::playback {
namespace {

using Verdict = platform::StreamChecker::Verdict;

const std::string kDirectory =
    "France|Video|Live|http://127.0.0.1:1/live.m3u8|FR\r\n"
    "France|Video|Gone|http://127.0.0.1:1/gone.m3u8|FR\r\n"
    "France|Video|Same Gone|http://127.0.0.1:1/gone.m3u8|FR\r\n"
    "France|Video|Odd|rtmp://127.0.0.1:1/odd|FR\r\n"
    "France|Video|Four|http://127.0.0.1:1/4.m3u8|FR\r\n"
    "France|Video|Five|http://127.0.0.1:1/5.m3u8|FR\r\n"
    "France|Video|Six|http://127.0.0.1:1/6.m3u8|FR\r\n";

class ChannelHealthTest : public directory::DirectoryTest {
  protected:
    void SetUp() override {
        download(kDirectory);
        f.cmbCountry.choose("France");
        f.checker.verdicts["http://127.0.0.1:1/gone.m3u8"] = {Verdict::Fails, "Not there.",
                                                              "2026-12-06 11:00"};
        f.checker.verdicts["rtmp://127.0.0.1:1/odd"] = {Verdict::Unknown, {}, {}};
    }
    ChannelHealth& health() { return form.health(); }
    void answerAll() {
        for (int i = 0; i < 100 && f.checker.answerOne(); ++i) {
        }
    }
    bool greyed(int node) const { return f.trView.nodes[node - 1].fore == kMarkedForeColour; }
};

TEST_F(ChannelHealthTest, ChannelsThatDoNotAnswerAreGreyedAndKeptFourAtATime) {
    const std::string channels = channelFile();
    int progress = 0;
    health().onProgress = [&] { ++progress; };
    health().checkShown();
    EXPECT_EQ(health().total(), 6);  // one address shared by two channels is checked once
    EXPECT_EQ(f.checker.underWay.size(), 4u);
    EXPECT_EQ(health().progressText(), "Checking channels: 0 of 6");
    answerAll();
    EXPECT_EQ(f.checker.mostAtOnce, 4);
    EXPECT_FALSE(health().running());
    EXPECT_EQ(health().progressText(), "Checked 6 channels: 1 did not answer.");
    EXPECT_EQ(progress, 7);
    // Both channels of the address that failed, and only they; none is hidden.
    EXPECT_EQ(f.trView.nodeCount(), 7);
    for (int node = 1; node <= 7; ++node)
        EXPECT_EQ(greyed(node), node == 2 || node == 3) << node;
    EXPECT_EQ(f.trView.nodeToolTip(2), "No answer at 2026-12-06 11:00: Not there.");
    EXPECT_EQ(f.files.files.at("ChannelHealth.txt"),
              "http://127.0.0.1:1/gone.m3u8\t2026-12-06 11:00\tNot there.\r\n");
    // Written in the background: the Qt thread waits for no disk.
    EXPECT_EQ(f.files.waitedFor.count("channelhealth.txt"), 0u);
    EXPECT_EQ(channelFile(), channels);
    EXPECT_EQ(f.files.files.count("favorites.txt"), 0u);

    // The next run shows the marks from the file; a channel that plays loses its mark.
    directory::LoadedMain again(directory::kConfig, f.files.files);
    again.f.wbDownload.complete(kDirectory);
    again.f.cmbCountry.choose("France");
    EXPECT_EQ(again.f.trView.nodes[1].fore, kMarkedForeColour);
    again.form.health().played("France|Video|Gone|http://127.0.0.1:1/gone.m3u8|FR");
    EXPECT_NE(again.f.trView.nodes[1].fore, kMarkedForeColour);
    EXPECT_EQ(again.f.trView.nodeToolTip(3), "");
    EXPECT_EQ(again.f.files.files.at("ChannelHealth.txt"), "");
    EXPECT_EQ(again.f.files.waitedFor.count("channelhealth.txt"), 0u);

    // A file that cannot be written stays as it was; the marks of the run go on as they are.
    directory::LoadedMain locked(directory::kConfig, f.files.files);
    locked.f.files.unwritable.insert("channelhealth.txt");
    locked.f.wbDownload.complete(kDirectory);
    locked.f.cmbCountry.choose("France");
    locked.form.health().played("France|Video|Gone|http://127.0.0.1:1/gone.m3u8|FR");
    EXPECT_TRUE(locked.form.health().marks().empty());
    EXPECT_EQ(locked.f.files.files.at("ChannelHealth.txt"), f.files.files.at("ChannelHealth.txt"));
}

TEST_F(ChannelHealthTest, ALaterAnswerClearsAMarkAndCancelStartsNoMoreChecks) {
    health().checkShown();
    answerAll();
    f.checker.verdicts.erase("http://127.0.0.1:1/gone.m3u8");
    health().checkShown();
    answerAll();
    EXPECT_FALSE(greyed(2));
    EXPECT_TRUE(health().marks().empty());

    health().checkShown();
    ASSERT_TRUE(f.checker.answerOne());
    health().cancel();
    EXPECT_TRUE(f.checker.underWay.empty());
    EXPECT_FALSE(health().running());
    EXPECT_EQ(health().progressText(), "Check cancelled after 1 of 6: all answered.");
    // An answer of the cancelled check that comes anyway is not taken.
    EXPECT_FALSE(f.checker.answerOne());
}

TEST_F(ChannelHealthTest, NothingIsWrittenWhileNoChannelFailsToAnswer) {
    health().played("France|Video|Live|http://127.0.0.1:1/live.m3u8|FR");
    f.checker.verdicts.clear();
    health().checkShown();
    answerAll();
    EXPECT_EQ(f.files.files.count("ChannelHealth.txt"), 0u);
}

TEST(ChannelHealthFile, AHandEditedFileIsReadWithinBounds) {
    std::string file = "no tab here\r\n\tno address\r\n" + std::string(kMaxMarkLineBytes + 1, 'x') +
                       "\tt\tr\r\nhttp://a/\t2026-01-01 10:00\r\nhttp://b/\twhen\twhy\tmore\n";
    directory::LoadedMain main(directory::kConfig, {{"ChannelHealth.txt", file}});
    const auto& marks = main.form.health().marks();
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks.at("http://a/").when, "2026-01-01 10:00");
    EXPECT_EQ(marks.at("http://a/").reason, "");
    EXPECT_EQ(marks.at("http://b/").reason, "why\tmore");
}

// A user's comments, blank lines and lines the program cannot read stay where they were; the
// marks the program keeps change in place.
TEST(ChannelHealthFile, HandEditsStayInPlaceWhenTheMarksAreWritten) {
    const std::string gone = "http://127.0.0.1:1/gone.m3u8";
    const std::string live = "http://127.0.0.1:1/live.m3u8";
    // Not in the tree: its mark stays as it was written, without a reason.
    const std::string other = "http://127.0.0.1:1/other\t2026-01-01 09:00";
    const std::string overlong = std::string(kMaxMarkLineBytes + 1, 'x') + "\tt\tr";
    const std::string file = "\xEF\xBB\xBF# checked by hand\r\n\r\n" + gone +
                             "\t2026-01-01 10:00\told\r\nno tab here\n" + other + "\n" + overlong +
                             "\r\n" + live + "\tthen\twhy\r\n";
    directory::LoadedMain main(directory::kConfig, {{"ChannelHealth.txt", file}});
    ASSERT_EQ(main.form.health().marks().size(), 3u);
    EXPECT_EQ(main.form.health().marks().count(gone), 1u);  // no mark behind a byte-order mark
    main.f.wbDownload.complete(kDirectory);
    main.f.cmbCountry.choose("France");
    main.f.checker.verdicts[gone] = {Verdict::Fails, "Not there.", "2026-12-06 11:00"};
    main.form.health().checkShown();
    while (main.f.checker.answerOne()) {
    }
    const std::string& written = main.f.files.files.at("ChannelHealth.txt");
    EXPECT_EQ(written, "# checked by hand\r\n\r\n" + gone +
                           "\t2026-12-06 11:00\tNot there.\r\nno tab here\r\n" + other + "\r\n" +
                           overlong + "\r\n");
    main.form.health().played("France|Video|Gone|" + gone + "|FR");
    EXPECT_EQ(written,
              "# checked by hand\r\n\r\nno tab here\r\n" + other + "\r\n" + overlong + "\r\n");
}

// A mark is written so that it is read back, its reason cut where the line would be too long.
TEST(ChannelHealthFile, EveryMarkWrittenIsReadBack) {
    const std::string address = "http://127.0.0.1:1/" + std::string(5000, 'a');
    const std::string tooLong = "http://127.0.0.1:1/" + std::string(kMaxMarkLineBytes, 'b');
    std::string reason;
    for (int i = 0; i < 3000; ++i)
        reason += "\xC3\xA9";
    directory::LoadedMain main;
    main.f.wbDownload.complete("F|Video|Long|" + address + "|FR\r\nF|Video|Longer|" + tooLong +
                               "|FR\r\n");
    main.f.cmbCountry.choose("F");
    main.f.checker.verdicts[address] = {Verdict::Fails, reason, "2026-12-06 11:00"};
    main.f.checker.verdicts[tooLong] = {Verdict::Fails, reason, "2026-12-06 11:00"};
    main.form.health().checkShown();
    while (main.f.checker.answerOne()) {
    }
    EXPECT_EQ(main.form.health().marks().size(), 2u);  // both greyed for this run
    directory::LoadedMain again(directory::kConfig, main.f.files.files);
    const auto& marks = again.form.health().marks();
    ASSERT_EQ(marks.size(), 1u);
    const std::string& kept = marks.at(address).reason;
    EXPECT_EQ(address.size() + 2 + 16 + kept.size(), kMaxMarkLineBytes - 1);  // whole characters
    EXPECT_EQ(kept, reason.substr(0, kept.size()));
}

// Lines past the marks read are a user's too: kept, and read once there is room for them. A
// second line of an address that lost its mark goes with it, or the mark would come back.
TEST(ChannelHealthFile, LinesBeyondWhatIsReadAreKeptAndAMarkTakenAwayStaysAway) {
    std::string file;
    for (std::size_t i = 0; i < kMaxMarks; ++i)
        file += "http://127.0.0.1:1/" + std::to_string(i) + "\tw\tr\r\n";
    file += "http://127.0.0.1:1/0\tlater\tr\r\nhttp://127.0.0.1:1/beyond\tw\tr\r\n";
    directory::LoadedMain main(directory::kConfig, {{"ChannelHealth.txt", file}});
    ASSERT_EQ(main.form.health().marks().size(), kMaxMarks);
    main.form.health().played("F|Video|Zero|http://127.0.0.1:1/0|FR");
    const std::string& written = main.f.files.files.at("ChannelHealth.txt");
    EXPECT_EQ(written.find("http://127.0.0.1:1/0\t"), std::string::npos);
    const std::string end = "\r\nhttp://127.0.0.1:1/beyond\tw\tr\r\n";
    EXPECT_TRUE(written.ends_with(end)) << written.substr(written.size() - end.size());
    directory::LoadedMain again(directory::kConfig, main.f.files.files);
    EXPECT_EQ(again.form.health().marks().size(), kMaxMarks);
    EXPECT_EQ(again.form.health().marks().count("http://127.0.0.1:1/beyond"), 1u);
    EXPECT_EQ(again.form.health().marks().count("http://127.0.0.1:1/0"), 0u);
}

}  // namespace
}  // namespace qova::playback
