// The web view against real sockets on 127.0.0.1 and real files: what it shows and how. What it
// shares with the network browser is tested with both in network_browser_test.cpp.
#include "web/web_view.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <string>
#include <vector>

#include "support/browser_recorder.h"
#include "testkit/fifo_watch.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "web/page_loading.h"

namespace qova::web {
namespace {

using qova::testkit::LoopbackHttpServer;
using qova::testkit::TempFolder;

constexpr int kWaitLimitMs = testing::BrowserRecorder::kWaitLimitMs;
using Event = testing::BrowserEvent;

/// Also notes, at each completed page, what is still on its way and how tall the page is.
class Recorder : public testing::BrowserRecorder {
  public:
    explicit Recorder(WebView& view)
        : BrowserRecorder(view, [&view](Event& event) {
              event.pendingParts = view.pendingParts();
              event.height = view.document()->size().height();
          }) {}
};

std::string png(QSize size, Qt::GlobalColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data().toStdString();
}

QImage imageAt(const WebView& view, const std::string& url) {
    return qvariant_cast<QImage>(
        view.document()->resource(QTextDocument::ImageResource, QUrl(QString::fromStdString(url))));
}

QColor colourOf(const WebView& view, const QString& text) {
    return view.document()->find(text).charFormat().foreground().color();
}

TEST(WebViewTest, ShowsAPageWithItsTitleAndStyleAtOnceAndItsImagesAfterwards) {
    LoopbackHttpServer server;
    server.serve(
        "/info/page.html",
        "<html><head><title>  Station \n Info </title>"
        "<link rel=\"stylesheet\" href=\"css/site.css\"><link rel=stylesheet href=/gone.css>"
        "</head>"
        "<body><p class=\"note\">Tonight</p><p>Live <img src=\"../img/tall.png\"> Jazz</p>"
        "</body></html>",
        "text/html; charset=utf-8");
    server.serve("/info/css/site.css", "p.note { color: #ff0000 }", "text/css");
    server.serve("/img/tall.png", png(QSize(8, 300), Qt::blue), "image/png");
    server.serve("/notes.txt", "one\ntwo <b>bold</b>\r\nthree");
    server.hang("/never.css");
    server.serve("/slow.html", "<link rel='stylesheet' href='/never.css'><p>Plain</p>",
                 "text/html");
    WebView view(nullptr, 1000);
    // Hidden, the view lays nothing out.
    view.resize(400, 300);
    view.show();
    Recorder recorder(view);
    QSignalSpy titles(&view, &WebView::titleChanged);
    EXPECT_FALSE(view.hasDocument());

    ASSERT_TRUE(recorder.load(server.url("/info/page.html")));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].readyState, platform::WebBrowser::kReadyStateComplete);
    EXPECT_EQ(view.title(), "Station Info");
    ASSERT_EQ(titles.count(), 1);
    EXPECT_EQ(titles[0][0].toString(), "Station Info");
    EXPECT_EQ(view.bodyText(), "Tonight\r\nLive  Jazz");
    // The style sheet was in before the page was shown; the missing one is no error of the page.
    EXPECT_EQ(server.requestCount("/gone.css"), 1);
    EXPECT_EQ(colourOf(view, "Tonight"), QColor(Qt::red));
    EXPECT_NE(colourOf(view, "Jazz"), QColor(Qt::red));

    // The image was still on its way when the page completed.
    EXPECT_EQ(recorder.events[0].pendingParts, 1);
    const std::string imageUrl = server.url("/img/tall.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return imageAt(view, imageUrl).size() == QSize(8, 300); },
                                kWaitLimitMs));
    // Laid out again with the image's real height.
    EXPECT_GT(view.document()->size().height(), recorder.events[0].height + 250);
    EXPECT_EQ(server.requestCount("/img/tall.png"), 1);
    EXPECT_EQ(view.pendingParts(), 0);

    // A style sheet that never comes holds the page up until its server is given up on.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(recorder.load(server.url("/slow.html")));
    EXPECT_GE(clock.elapsed(), 900);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(view.bodyText(), "Plain");
    EXPECT_EQ(view.pendingParts(), 0);
    EXPECT_EQ(view.title(), "");
    ASSERT_EQ(titles.count(), 2);
    EXPECT_EQ(titles[1][0].toString(), "");

    // Plain text is shown as it came, its markup too; the title stays empty, unannounced.
    ASSERT_TRUE(recorder.load(server.url("/notes.txt")));
    EXPECT_EQ(view.toPlainText(), "one\ntwo <b>bold</b>\nthree");
    EXPECT_EQ(view.bodyText(), "one\r\ntwo <b>bold</b>\r\nthree");
    EXPECT_EQ(titles.count(), 2);
}

class MailCatcher : public QObject {
    Q_OBJECT
  public slots:
    void open(const QUrl& url) { opened.push_back(url); }

  public:
    std::vector<QUrl> opened;
};

TEST(WebViewTest, FollowsLinksInsideTheView) {
    LoopbackHttpServer server;
    server.serve("/dir/first.html", "<title>First</title><a href=\"second.html\">next</a>",
                 "text/html");
    server.serve("/dir/second.html", "<title>Second</title><p>Arrived</p>", "text/html");
    WebView view;
    Recorder recorder(view);
    MailCatcher mail;
    QDesktopServices::setUrlHandler("mailto", &mail, "open");

    // Relative links of markup lead nowhere.
    ASSERT_TRUE(recorder.load("about:<a href=\"second.html\">x</a>"));
    emit view.anchorClicked(QUrl("second.html"));
    EXPECT_EQ(view.readyState(), platform::WebBrowser::kReadyStateComplete);

    ASSERT_TRUE(recorder.load(server.url("/dir/first.html")));
    ASSERT_TRUE(recorder.settle([&] { emit view.anchorClicked(QUrl("second.html")); }));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(view.title(), "Second");
    EXPECT_EQ(view.pageUrl(), QUrl(QString::fromStdString(server.url("/dir/second.html"))));

    ASSERT_TRUE(recorder.settle([&] { view.setSource(QUrl("first.html")); }));
    EXPECT_EQ(view.title(), "First");

    // Neither an anchor in the page nor a mail address loads anything.
    recorder.events.clear();
    emit view.anchorClicked(QUrl("#top"));
    emit view.anchorClicked(QUrl("mailto:desk@example.org"));
    EXPECT_EQ(view.readyState(), platform::WebBrowser::kReadyStateComplete);
    ASSERT_TRUE(testing::deliverPosted());
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(mail.opened.size(), 1u);
    EXPECT_EQ(server.requestCount("/dir/second.html"), 1);
    QDesktopServices::unsetUrlHandler("mailto");
}

TEST(WebViewTest, LocalPagesUseLocalFilesAndServedPagesDoNot) {
    LoopbackHttpServer server;
    TempFolder folder;
    folder.write("pic.png", png(QSize(4, 3), Qt::red));
    folder.write("look.css", ".x { color: #0000ff }");
    // Read on the window's thread: a FIFO or a device among them is never opened.
    const testkit::FifoWatch fifoSheet(folder.file("fifo.css"));
    const testkit::FifoWatch fifoPicture(folder.file("fifo.png"));
    folder.write("page.html",
                 "<link rel=\"stylesheet\" href=\"look.css\"><p class=\"x\">Local</p>"
                 "<img src=\"pic.png\"><link rel=\"stylesheet\" href=\"fifo.css\">"
                 "<img src=\"fifo.png\"><img src=\"/dev/zero\">");
    const std::string picture = QUrl::fromLocalFile(QString::fromStdString(folder.file("pic.png")))
                                    .toString()
                                    .toStdString();
    server.serve("/remote.html", "<p>Remote</p><img src=\"" + picture + "\">", "text/html");
    WebView view;
    view.resize(400, 300);
    view.show();
    Recorder recorder(view);

    ASSERT_TRUE(recorder.settle([&] { view.navigate2(folder.file("page.html")); }));
    EXPECT_EQ(view.bodyText(), "Local");
    EXPECT_EQ(colourOf(view, "Local"), QColor(Qt::blue));
    view.document()->size();
    EXPECT_EQ(imageAt(view, picture).size(), QSize(4, 3));
    EXPECT_EQ(fifoSheet.opened() + fifoPicture.opened(), 0);

    ASSERT_TRUE(recorder.load(server.url("/remote.html")));
    view.document()->size();
    EXPECT_NE(imageAt(view, picture).size(), QSize(4, 3));
}

TEST(WebViewTest, APageTooLargeToLayOutIsNotShown) {
    // Many small elements: every one costs the layout far more than its bytes.
    std::string page = "<title>Huge</title>";
    while (page.size() < 3 * 1024 * 1024)
        page += "<p><b>x</b></p>";
    LoopbackHttpServer server;
    server.serve("/huge.html", page, "text/html");
    server.serve("/small.html", "<title>Small</title><p>Fits</p>", "text/html");
    WebView view(nullptr, 1000);
    Recorder recorder(view);
    ASSERT_TRUE(recorder.load(server.url("/small.html")));
    ASSERT_TRUE(recorder.load(server.url("/huge.html")));
    testing::expectErrorThenErrorPageEvents(recorder.events, server.url("/huge.html"),
                                            platform::WebBrowser::kStatusDownloadFailure);
    EXPECT_EQ(view.title(), "Cannot display the page");
}

TEST(PageLoadingTest, FindsTheStyleSheetsForTheScreenAndTakesOutLinkTags) {
    EXPECT_EQ(styleSheetLinks("<p>none</p>"), QStringList());
    const QString page =
        "<LINK REL=\"Stylesheet\" HREF=\"a.css\">"
        "<link href='b.css?x=1&amp;y=2' rel='preload stylesheet' media='screen and (color)'>"
        "<link rel=stylesheet href=c.css media=print>"
        "<link rel=\"alternate stylesheet\" href=\"d.css\">"
        "<!-- <link rel=\"stylesheet\" href=\"e.css\"> -->"
        "<link rel=\"icon\" href=\"f.png\"><link rel=\"stylesheet\">"
        "<link rel=\"stylesheet\" href=\"a.css\" media=\"print, all\">";
    EXPECT_EQ(styleSheetLinks(page), QStringList({"a.css", "b.css?x=1&y=2"}));
    EXPECT_EQ(withoutLinkTags("<HEAD><Link rel=x href='a>'><title>T</title><p>b</p></link>"),
              "<HEAD>'><title>T</title><p>b</p>");
    EXPECT_EQ(withoutLinkTags("<p>linked <linkage></p>"), "<p>linked <linkage></p>");
}

}  // namespace
}  // namespace qova::web

#include "web_view_test.moc"
