// Guides as real ones come: their times, their malformations, compressed or not, cut short or
// too large.
#include <gtest/gtest.h>

#include "guide/guide_input.h"
#include "guide/guide_time.h"
#include "guide_fixture.h"

namespace qova::guide {
namespace {

using namespace test;

TEST(GuideTime, OffsetsShiftsAndNonsense) {
    EXPECT_EQ(ParseGuideTime("20261207200000 +0000"), kNow);
    EXPECT_EQ(ParseGuideTime("20261207200000"), kNow);  // no offset: UTC
    EXPECT_EQ(ParseGuideTime("202612072000"), kNow);    // no seconds
    EXPECT_EQ(ParseGuideTime("20261207210000 +0100"), kNow);
    EXPECT_EQ(ParseGuideTime("20261207143000 -0530"), kNow);
    EXPECT_EQ(ParseGuideTime("20261207180000 +0000", 2), kNow);  // tvg-shift
    EXPECT_EQ(ParseGuideTime("19700101000000 +0000"), 0);
    EXPECT_EQ(ParseGuideTime("20240229120000"), ParseGuideTime("20240301120000").value() - 86400);
    for (const char* bad : {"", "2026120720", "20261307200000", "2026120720000x", "abcd",
                            "20261207200000 +01", "20261207250000"})
        EXPECT_FALSE(ParseGuideTime(bad)) << bad;
}

TEST(GuideReading, WhatRealGuidesHold) {
    GuideFixture f;
    f.channels = {{"One", "one.id", "", 0}};
    // One line, a channel element with unknown children, a programme without stop, the same
    // programme twice, entities with and without a DTD, CDATA, and junk after the end.
    const std::string guide =
        "<?xml version=\"1.0\"?><!-- a comment --><tv generator-info-name=\"x\">"
        "<channel id=\"one.id\"><display-name>One</display-name><url>http://x</url>"
        "<unknown><deep/></unknown></channel>"
        "<programme start=\"" +
        at(19) +
        "\" channel=\"one.id\"><title>Caf&#233; &amp; "
        "Co&nbsp;</title><desc><![CDATA[<b>bold</b> & more]]></desc>"
        "<category>News</category><category>Talk</category>"
        "<episode-num system=\"xmltv_ns\">1.4.0/1</episode-num><icon src=\"http://i/1.png\"/>"
        "<rating><value>12</value></rating></programme>"
        "<programme start=\"" +
        at(19) +
        "\" channel=\"one.id\"><title>Twice</title></programme>"
        "<programme start=\"" +
        at(21) + "\" stop=\"" + at(22) +
        "\" channel=\"one.id\">"
        "<title>Next</title><episode-num system=\"onscreen\">S02E05</episode-num></programme>"
        "</tv>\n<junk>&bad; <unclosed>";
    const BuildResult result = f.build({guide});
    ASSERT_TRUE(result.written) << result.error;
    const auto store = f.store();
    ASSERT_TRUE(store);
    const auto nowNext = store->nowNext("One", kNow);
    ASSERT_TRUE(nowNext.now);
    EXPECT_EQ(nowNext.now->title, "Caf\xC3\xA9 & Co\xC2\xA0");
    EXPECT_EQ(nowNext.now->description, "<b>bold</b> & more");
    EXPECT_EQ(nowNext.now->categories, "News, Talk");
    EXPECT_EQ(nowNext.now->episode, "S2 E5");
    EXPECT_EQ(nowNext.now->icon, "http://i/1.png");
    EXPECT_EQ(nowNext.now->start, kNow - 3600);
    EXPECT_EQ(nowNext.now->stop, kNow + 3600);  // the next one's start
    ASSERT_TRUE(nowNext.next);
    EXPECT_EQ(nowNext.next->title, "Next");
    EXPECT_EQ(nowNext.next->episode, "S02E05");
    EXPECT_EQ(store->between("One", kNow - 7200, kNow + 7200).size(), 2u);
}

TEST(GuideReading, TimeZonesKeptDaysAndShifts) {
    GuideFixture f;
    f.channels = {{"Paris", "paris", "", 0}, {"Shifted", "paris", "", 2}};
    const BuildResult result = f.build({tv(
        // 21:00 +0100 is 20:00 UTC.
        programme("paris", at(21, 0, "+0100"), at(22, 0, "+0100"), "Evening") +
        programme("paris", at(18), at(19), "Earlier") +
        programme("paris", "20261201000000 +0000", "20261201010000 +0000", "Week ago") +
        programme("paris", "20261225000000 +0000", "20261225010000 +0000", "Christmas"))});
    ASSERT_TRUE(result.written) << result.error;
    EXPECT_EQ(f.titleAt("Paris", kNow), "Evening");
    EXPECT_EQ(f.titleAt("Paris", kNow + 3599), "Evening");
    EXPECT_EQ(f.titleAt("Paris", kNow + 3600), "");
    // tvg-shift=2: 18:00 in the guide shows at 20:00.
    EXPECT_EQ(f.titleAt("Shifted", kNow), "Earlier");
    EXPECT_EQ(f.store()->between("Paris", 0, kNow * 2).size(), 2u);  // older, further: dropped
}

TEST(GuideReading, CompressionByContentAndBounds) {
    testkit::TempFolder folder;
    const std::string plain = tv(programme("a", at(20), at(21), "T"));
    folder.write("guide.xml", gzipped(plain));  // the name says nothing
    folder.write("guide.gz", xzCompressed(plain));
    folder.write("plain.xz", plain);
    for (const char* name : {"guide.xml", "guide.gz", "plain.xz"}) {
        std::string error;
        const auto input = GuideInput::open(folder.file(name), error);
        ASSERT_TRUE(input) << error;
        std::string out(1 << 16, '\0'), all;
        std::size_t count = 0;
        GuideInput::Status status;
        while ((status = input->read(out.data(), out.size(), count)) == GuideInput::Status::More)
            all.append(out.data(), count);
        EXPECT_EQ(status, GuideInput::Status::End) << name;
        EXPECT_EQ(all, plain) << name;
    }
    // A bomb: 64 MiB of nothing in a few kilobytes, stopped at the bound.
    const std::string bomb = gzipped("<tv>" + std::string(64 << 20, ' '));
    ASSERT_LT(bomb.size(), 200u * 1024);
    folder.write("bomb", bomb);
    std::string error;
    const auto input = GuideInput::open(folder.file("bomb"), error, 8 << 20);
    std::string out(1 << 16, '\0');
    std::size_t count = 0, total = 0;
    GuideInput::Status status;
    while ((status = input->read(out.data(), out.size(), count)) == GuideInput::Status::More)
        total += count;
    EXPECT_EQ(status, GuideInput::Status::TooLarge);
    EXPECT_LE(total, std::size_t{8} << 20);
    // Cut compressed files are broken, not short.
    folder.write("cut", bomb.substr(0, bomb.size() / 2));
    const auto cut = GuideInput::open(folder.file("cut"), error);
    while ((status = cut->read(out.data(), out.size(), count)) == GuideInput::Status::More) {
    }
    EXPECT_EQ(status, GuideInput::Status::Broken);
    EXPECT_FALSE(GuideInput::open(folder.path(), error));  // a folder is no guide
}

TEST(GuideReading, GuideCutShortKeepsTheStoreThatWas) {
    GuideFixture f;
    f.channels = {{"One", "one", "", 0}};
    const std::string whole = tv(programme("one", at(19), at(21), "Old"));
    ASSERT_TRUE(f.build({whole}).written);
    const std::string newer =
        tv(programme("one", at(19), at(21), "New") + programme("one", at(21), at(22), "Later"));
    for (const std::string& broken :
         {newer.substr(0, newer.size() / 2), gzipped(newer).substr(0, 40),
          std::string("not a guide at all"), std::string("<html><body>login</body></html>")}) {
        const BuildResult result = f.build({broken});
        EXPECT_FALSE(result.written);
        EXPECT_FALSE(result.error.empty());
        EXPECT_EQ(f.titleAt("One", kNow), "Old");
    }
    ASSERT_TRUE(f.build({gzipped(newer)}).written);
    EXPECT_EQ(f.titleAt("One", kNow), "New");
}

TEST(GuideStoreFile, DamagedOrForeignStoresAreRefused) {
    GuideFixture f;
    f.channels = {{"One", "one", "", 0}};
    ASSERT_TRUE(f.build({tv(programme("one", at(19), at(21), "T"))}).written);
    const std::string bytes = f.folder.read(kGuideStoreFile).value();
    ASSERT_TRUE(GuideStore::fromBytes(bytes));
    for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{72}, bytes.size() - 1})
        EXPECT_FALSE(GuideStore::fromBytes(std::string_view(bytes).substr(0, cut))) << cut;
    std::string foreign = bytes;
    foreign[0] = 'X';
    EXPECT_FALSE(GuideStore::fromBytes(foreign));
    EXPECT_EQ(f.store()->lists().at(0).matched, 1u);
}

}  // namespace
}  // namespace qova::guide
