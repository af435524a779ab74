// mp3PostAritcle against the bundled news server: the posted article is stored, and ARTICLE
// gives it back byte for byte as it was sent.
#include <gtest/gtest.h>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "net/multiline.h"
#include "newsd/news_server.h"
#include "nntp/post_article.h"
#include "nntp/session.h"
#include "posted_article_parts.h"
#include "support/test_environment.h"

using namespace corvane;
using harbeat::test::headerOf;

namespace {

// What the server's ARTICLE answer holds between its status line and its terminator line.
std::string readArticle(int port, const std::string &messageId) {
    std::string error, text;
    const Connection c = nntpOpenSession(error, "127.0.0.1", port, nullptr, "", "", nullptr);
    EXPECT_NE(c, 0) << error;
    EXPECT_EQ(netSend(error, c, "article " + messageId + "\r\n"), 1) << error;
    EXPECT_EQ(readMultiLineResponse(error, c, 220, kResponseTerminator, text), 1) << error;
    nntpQuit(c);
    return text;
}

TEST(PostToServer, ArticleIsStoredAndReadBackAsSent) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3.requests", 0, true);
    harbeat::newsd::NewsServer server(store);
    server.start(0);
    EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = server.port();
    storeEngineSettings(settings);

    // Lines that begin with a dot, one of them a lone dot, which must not end the article.
    const ArticleFields fields{"me@example.org", "alt.binaries.sounds.mp3.requests", "Looking for a song",
                               "Anyone?\r\n.\r\n..and more\r\n\r\nThis song request was posted by Harbeat\r\n"};
    char error[256] = "";
    ASSERT_EQ(mp3PostAritcle(error, "me@example.org", "alt.binaries.sounds.mp3.requests", "Looking for a song",
                             std::string(fields.body).c_str()),
              -1)
        << error;

    const std::vector<std::string> posted = store.postedArticles();
    ASSERT_EQ(posted.size(), 1u);
    const std::string messageId = headerOf(posted[0], "Message-ID");
    ASSERT_FALSE(messageId.empty()) << posted[0];

    // The article of that id, that time and that host, as the engine builds it.
    const auto parts = harbeat::test::splitMessageId(messageId);
    ASSERT_TRUE(parts.has_value()) << messageId;
    std::string built, buildError;
    ASSERT_EQ(buildArticle(buildError, fields, "127.0.0.1", parts->time, built), 1) << buildError;
    EXPECT_EQ(readArticle(server.port(), messageId) + ".\r\n", built);

    // The server stores the text with the doubled dots taken off again.
    EXPECT_NE(posted[0].find("\r\n\r\nAnyone?\r\n.\r\n..and more\r\n"), std::string::npos) << posted[0];
    EXPECT_EQ(store.articleByMessageId(messageId), posted[0]);
}

}  // namespace
