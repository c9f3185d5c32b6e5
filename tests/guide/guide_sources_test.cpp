// Where the guides come from and what is kept of them: nothing written while no guide is known;
// the lists' guides and hints kept for a start that cannot fetch them; the channels of a build.
#include <gtest/gtest.h>

#include "fakes/fake_text_files.h"
#include "guide/guide_sources.h"

namespace qova::guide {
namespace {

TEST(GuideSources, NothingIsWrittenWithoutAGuideAndWhatIsKeptComesBack) {
    fakes::FakeTextFiles files;
    GuideSources sources(files);
    sources.load();
    // A playlist with tvg- attributes but no guide: known, not written.
    PlaylistHints noGuide;
    noGuide.channels = {{"One", "one.fr", "", 0}};
    EXPECT_FALSE(sources.listRead("http://a/list.m3u", noGuide));
    EXPECT_FALSE(sources.any());
    EXPECT_TRUE(files.files.empty());

    PlaylistHints withGuide = noGuide;
    withGuide.guides = {"http://g/guide.xml.gz"};
    EXPECT_TRUE(sources.listRead("http://b/list.m3u", withGuide));
    EXPECT_FALSE(sources.listRead("http://b/list.m3u", withGuide));  // the same guides again
    ASSERT_TRUE(sources.add("  /home/me/guide.xml  "));
    EXPECT_FALSE(sources.add("/home/me/guide.xml"));
    EXPECT_FALSE(sources.add("two\nlines"));
    ASSERT_TRUE(sources.choose("Two\tTabs", "two.id"));
    EXPECT_EQ(sources.guides(),
              (std::vector<std::string>{"/home/me/guide.xml", "http://g/guide.xml.gz"}));

    GuideSources again(files);
    again.load();
    EXPECT_EQ(again.guides(), sources.guides());
    EXPECT_EQ(again.chosen().at("Two Tabs"), "two.id");
    // The channels of a build: TV channels once each, with their list's hints; radio left out.
    BuildRequest request;
    again.fillRequest("France|Video|One|http://s/1|FR\r\nFrance|Radio|Radio One|http://s/r|\r\n",
                      "http://directory", {{"http://b/list.m3u", "X|Video|One|http://s/1|\r\n"}},
                      request);
    ASSERT_EQ(request.channels.size(), 1u);
    EXPECT_EQ(request.channels[0].name, "One");
    ASSERT_EQ(request.lists.size(), 2u);
    EXPECT_EQ(request.lists[1].channels, (std::vector<std::uint32_t>{0}));

    ASSERT_TRUE(again.remove(0));
    EXPECT_EQ(again.guides(), (std::vector<std::string>{"http://g/guide.xml.gz"}));
    files.unwritable.insert(platform::lowerCase(kGuidesFile));
    EXPECT_FALSE(again.add("http://h/other.xml"));
    EXPECT_EQ(again.added().size(), 0u);
}

}  // namespace
}  // namespace qova::guide
