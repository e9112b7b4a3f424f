#include "updates/AppcastFeed.h"

#include "core/EngineError.h"

#include <gtest/gtest.h>

namespace {

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?>\n"
           "<rss version=\"2.0\" xmlns:t=\"https://vandelorn.com/xml-namespaces/tolvane-update\">"
           "<channel><title>Tolvane</title>" +
           items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& extra = {})
{
    return "<item><title>Tolvane " + version + "</title>" + extra +
           "<enclosure url=\"https://example.invalid/tolvane-" + version +
           ".tar.gz\" length=\"1234\" type=\"application/gzip\" t:version=\"" + version +
           "\" t:edSignature=\"c2ln\"/></item>";
}

} // namespace

TEST(AppcastFeed, ReadsItemsAndPicksTheHighestVersion)
{
    const auto items = AppcastFeed::parse(
        feed(item("1.9", "<description>Faster &amp; smaller.\nSecond line.</description>") +
             item("1.10") + item("1.2")));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].title, QStringLiteral("Tolvane 1.9"));
    EXPECT_EQ(items[0].notes, QStringLiteral("Faster & smaller.\nSecond line."));
    EXPECT_EQ(items[0].url, QUrl(QStringLiteral("https://example.invalid/tolvane-1.9.tar.gz")));
    EXPECT_EQ(items[0].length, 1234);
    EXPECT_EQ(items[0].signature, QStringLiteral("c2ln"));
    // Not the first, not the last: the numerically highest.
    EXPECT_EQ(AppcastFeed::newest(items)->version, QStringLiteral("1.10"));
    EXPECT_FALSE(AppcastFeed::newest({}).has_value());
}

TEST(AppcastFeed, NotesStayText)
{
    // Markup inside the notes is kept as characters, never interpreted.
    const auto items = AppcastFeed::parse(
        feed(item("2.0", "<description><![CDATA[<b>Bold</b> <img src=x>]]></description>")));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].notes, QStringLiteral("<b>Bold</b> <img src=x>"));
}

TEST(AppcastFeed, LeavesOutIncompleteItems)
{
    const QByteArray bad[] = {
        // No enclosure, then each attribute missing or unusable in turn.
        "<item><title>x</title></item>",
        "<item><enclosure length=\"5\" t:version=\"3.0\" t:edSignature=\"s\"/></item>",
        "<item><enclosure url=\"https://h/a\" t:version=\"3.0\" t:edSignature=\"s\"/></item>",
        "<item><enclosure url=\"https://h/a\" length=\"0\" t:version=\"3.0\" t:edSignature=\"s\"/>"
        "</item>",
        "<item><enclosure url=\"https://h/a\" length=\"-5\" t:version=\"3.0\" "
        "t:edSignature=\"s\"/></item>",
        "<item><enclosure url=\"https://h/a\" length=\"5\" t:edSignature=\"s\"/></item>",
        "<item><enclosure url=\"https://h/a\" length=\"5\" t:version=\"3.0beta\" "
        "t:edSignature=\"s\"/></item>",
        "<item><enclosure url=\"https://h/a\" length=\"5\" t:version=\"3.0\"/></item>",
        "<item><enclosure url=\"relative/a\" length=\"5\" t:version=\"3.0\" "
        "t:edSignature=\"s\"/></item>",
        // Attributes of the right names in no namespace, or in another one, do not count.
        "<item><enclosure url=\"https://h/a\" length=\"5\" version=\"3.0\" edSignature=\"s\"/>"
        "</item>",
        "<item xmlns:o=\"urn:other\"><enclosure url=\"https://h/a\" length=\"5\" "
        "o:version=\"3.0\" o:edSignature=\"s\"/></item>",
    };
    for (const QByteArray& entry : bad)
        EXPECT_TRUE(AppcastFeed::parse(feed(entry + item("1.0"))).size() == 1)
            << entry.toStdString();
}

TEST(AppcastFeed, RefusesWhatIsNotAFeed)
{
    for (const QByteArray& text : {QByteArray(), QByteArray("<html><body>Not found</body></html>"),
                                   QByteArray("{\"items\":[]}"), feed(item("1.0")).chopped(10)}) {
        try {
            AppcastFeed::parse(text);
            ADD_FAILURE() << text.toStdString();
        } catch (const MessageError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("The update feed could not be read."));
        }
    }
    // A feed with no items is readable and offers nothing.
    EXPECT_TRUE(AppcastFeed::parse(feed({})).isEmpty());
}
