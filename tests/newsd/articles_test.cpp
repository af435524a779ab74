// Groups, overview, articles, expiry, posting, NEWGROUPS and LIST against stored articles.
#include <gtest/gtest.h>

#include "raw_client.h"

namespace harbeat::newsd::test {
namespace {

std::string code(const std::string &line) { return line.substr(0, 3); }

std::string article(const std::string &group, const std::string &subject, const std::string &body,
                    const std::string &extraHeaders = "") {
    return "Newsgroups: " + group + "\r\nFrom: poster@example.com\r\nSubject: " + subject +
           "\r\nDate: Sat, 12 Jun 1999 14:22:33 GMT\r\n" + extraHeaders + "\r\n" + body;
}

// Undoes the dot-stuffing of a block read with readBlockBytes and drops its terminator.
std::string unstuffed(const std::string &block) {
    std::string text;
    std::size_t position = 0;
    while (position < block.size()) {
        const std::size_t end = block.find("\r\n", position) + 2;
        const std::string line = block.substr(position, end - position);
        position = end;
        if (line == ".\r\n") break;
        text += line[0] == '.' ? line.substr(1) : line;
    }
    return text;
}

std::vector<std::string> firstFields(const std::vector<std::string> &lines) {
    std::vector<std::string> numbers;
    for (const std::string &line : lines) numbers.push_back(splitTabs(line)[0]);
    return numbers;
}

// alt.numbered holds articles 1000-1004 with 1002 expired.
class StoredGroups : public testing::Test {
protected:
    void SetUp() override {
        store().addGroup("alt.test", 946728000, true);                                   // 2000-01-01 12:00:00
        store().addGroup("alt.readonly", 946684799, false);                              // 1999-12-31 23:59:59
        store().addGroup("alt.numbered", 1276560000, true, 1000, "Numbered from 1000");  // 2010-06-15
        for (int i = 0; i < 5; ++i) {
            ids.push_back(store().addArticle(article("alt.numbered", "Song " + std::to_string(i), "body\r\n")));
        }
        store().expireArticle(ids[2]);
    }
    void start(ServerOptions options = {}) {
        served.start(std::move(options));
        client = served.connect();
    }
    NewsStore &store() { return served.store; }
    std::vector<std::string> xover(const std::string &range) {
        const std::string status = client->command("XOVER " + range);
        if (code(status) != "224") return {status};
        return firstFields(client->readBlock());
    }

    ServedStore served;
    std::unique_ptr<RawClient> client;
    std::vector<std::string> ids;
};

TEST_F(StoredGroups, GroupReportsCountAndWaterMarks) {
    start();
    EXPECT_EQ(client->command("GROUP alt.numbered"), "211 4 1000 1004 alt.numbered\r\n");
    EXPECT_EQ(client->command("GROUP alt.test"), "211 0 1 0 alt.test\r\n");
    EXPECT_EQ(code(client->command("GROUP alt.nothing")), "411");
    store().expireArticle(ids[0]);
    EXPECT_EQ(client->command("GROUP alt.numbered"), "211 3 1001 1004 alt.numbered\r\n");
}

struct RangeCase {
    const char *range;
    int emptyCode;
    std::vector<std::string> expected;  // article numbers, or the single status line's code
};

class OverviewRange : public StoredGroups, public testing::WithParamInterface<RangeCase> {};

TEST_P(OverviewRange, Numbers) {
    ServerOptions options;
    options.emptyOverviewCode = GetParam().emptyCode;
    start(options);
    client->command("GROUP alt.numbered");
    std::vector<std::string> got = xover(GetParam().range);
    if (got.size() == 1 && got[0].size() > 3 && got[0].ends_with("\r\n")) got[0] = code(got[0]);
    EXPECT_EQ(got, GetParam().expected);
}

using Numbers = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    StoredGroups, OverviewRange,
    testing::Values(RangeCase{"1000", 224, Numbers{"1000"}}, RangeCase{"1003-", 224, Numbers{"1003", "1004"}},
                    RangeCase{"1000-1004", 224, Numbers{"1000", "1001", "1003", "1004"}},
                    RangeCase{"999-1001", 224, Numbers{"1000", "1001"}}, RangeCase{"", 224, Numbers{"1000"}},
                    RangeCase{"1002", 224, Numbers{}}, RangeCase{"1004-1000", 224, Numbers{}},
                    RangeCase{"0-999", 224, Numbers{}}, RangeCase{"1002", 423, Numbers{"423"}},
                    RangeCase{"2000-3000", 420, Numbers{"420"}}, RangeCase{"2000-", 423, Numbers{"423"}}));

TEST_F(StoredGroups, OverviewFieldLayout) {
    const std::string id = store().addArticle(
        article("alt.test,alt.numbered", "Tab\there\r\n folded", "a\r\nb\r\n", "References: <x@y>\r\n"));
    const std::string text = *store().articleByMessageId(id);
    start();
    EXPECT_EQ(client->command("LIST OVERVIEW.FMT"), "215 Order of fields in overview database.\r\n");
    EXPECT_EQ(client->readBlockBytes(),
              "Subject:\r\nFrom:\r\nDate:\r\nMessage-ID:\r\nReferences:\r\nBytes:\r\nLines:\r\nXref:full\r\n.\r\n");
    client->command("GROUP alt.test");
    EXPECT_EQ(code(client->command("XOVER 1-")), "224");
    const auto lines = client->readBlock();
    ASSERT_EQ(lines.size(), 1u);
    const std::vector<std::string> expected = {"1",
                                               "Tab here folded",
                                               "poster@example.com",
                                               "Sat, 12 Jun 1999 14:22:33 GMT",
                                               id,
                                               "<x@y>",
                                               std::to_string(text.size()),
                                               "2",
                                               "Xref: harbeat-newsd alt.test:1 alt.numbered:1005"};
    EXPECT_EQ(splitTabs(lines[0]), expected);
}

TEST_F(StoredGroups, SelectionIsNeededForNumbers) {
    start();
    for (const char *line : {"XOVER 1-2", "OVER", "ARTICLE 1", "HEAD", "NEXT", "LISTGROUP"}) {
        EXPECT_EQ(code(client->command(line)), "412") << line;
    }
    client->command("GROUP alt.test");
    EXPECT_EQ(code(client->command("ARTICLE")), "420");
    EXPECT_EQ(code(client->command("XOVER")), "420");
}

TEST_F(StoredGroups, DotStuffedArticleHeadAndBody) {
    const std::string body = ".\r\n..\r\n.x\r\na.b\r\nlast line without end";
    const std::string id = store().addArticle(article("alt.test", "dots", body));
    const std::string text = *store().articleByMessageId(id);
    start();
    client->command("GROUP alt.test");
    EXPECT_EQ(client->command("ARTICLE 1"), "220 1 " + id + "\r\n");
    const std::string block = client->readBlockBytes();
    EXPECT_NE(block.find("\r\n..\r\n...\r\n..x\r\na.b\r\nlast line without end\r\n.\r\n"), std::string::npos) << block;
    EXPECT_EQ(unstuffed(block), text);
    EXPECT_EQ(client->command("HEAD " + id), "221 0 " + id + "\r\n");
    const std::string head = unstuffed(client->readBlockBytes());
    EXPECT_EQ(client->command("BODY"), "222 1 " + id + "\r\n");
    const std::string bodyText = unstuffed(client->readBlockBytes());
    EXPECT_EQ(head + "\r\n" + bodyText, text);
    EXPECT_EQ(client->command("STAT 1"), "223 1 " + id + "\r\n");
}

TEST_F(StoredGroups, ExpiredAndUnknownArticles) {
    start();
    client->command("GROUP alt.numbered");
    EXPECT_EQ(code(client->command("ARTICLE <nothing@example.com>")), "430");
    EXPECT_EQ(code(client->command("ARTICLE " + ids[2])), "430");
    EXPECT_EQ(code(client->command("ARTICLE 1002")), "423");
    EXPECT_EQ(code(client->command("BODY 1001")), "222");
    client->readBlock();
    EXPECT_TRUE(store().expireArticle(ids[1]));
    EXPECT_FALSE(store().expireArticle(ids[1]));
    EXPECT_FALSE(store().articleByMessageId(ids[1]));
    EXPECT_EQ(code(client->command("ARTICLE " + ids[1])), "430");
    EXPECT_EQ(code(client->command("STAT")), "420");  // the current article has gone
    EXPECT_EQ(xover("1000-"), (Numbers{"1000", "1003", "1004"}));
}

// A server that lost articles its store holds: every way of asking for them gets 430, the
// articles beside them are served.
TEST_F(StoredGroups, DroppedArticlesAreAnswered430) {
    ServerOptions options;
    options.droppedNumbers = {1001};
    options.droppedMessageIds = {ids[3]};
    start(options);
    client->command("GROUP alt.numbered");
    for (const std::string &line :
         std::vector<std::string>{"ARTICLE 1001", "HEAD 1001", "BODY 1001", "STAT 1001", "ARTICLE " + ids[1],
                                  "STAT " + ids[1], "ARTICLE 1003", "BODY " + ids[3], "HEAD " + ids[3]})
        EXPECT_EQ(code(client->command(line)), "430") << line;
    EXPECT_EQ(code(client->command("STAT 1000")), "223");
    EXPECT_EQ(code(client->command("ARTICLE " + ids[4])), "220");
    client->readBlock();
}

TEST_F(StoredGroups, NextAndLastWalkPresentArticles) {
    start();
    client->command("GROUP alt.numbered");
    EXPECT_EQ(client->command("NEXT"), "223 1001 " + ids[1] + " retrieved\r\n");
    EXPECT_EQ(code(client->command("NEXT")), "223");  // 1003: 1002 is expired
    EXPECT_EQ(client->command("STAT"), "223 1003 " + ids[3] + "\r\n");
    EXPECT_EQ(code(client->command("LAST")), "223");
    EXPECT_EQ(code(client->command("LAST")), "223");
    EXPECT_EQ(code(client->command("LAST")), "422");
    EXPECT_EQ(code(client->command("LISTGROUP")), "211");
    EXPECT_EQ(client->readBlock(), (Numbers{"1000", "1001", "1003", "1004"}));
}

TEST_F(StoredGroups, PostRoundTripKeepsDotLines) {
    start();
    const std::string posted =
        "Path: not-for-mail\r\nFrom: me@example.com\r\nNewsgroups: alt.test\r\nSubject: REQ: a song\r\n"
        "Message-ID: <qx$msg$mp3.1.2@host>\r\n\r\n.\r\n..\r\n.leading\r\nplain\r\n";
    EXPECT_EQ(code(client->command("POST")), "340");
    client->send(
        "Path: not-for-mail\r\nFrom: me@example.com\r\nNewsgroups: alt.test\r\nSubject: REQ: a song\r\n"
        "Message-ID: <qx$msg$mp3.1.2@host>\r\n\r\n..\r\n...\r\n..leading\r\nplain\r\n.\r\n");
    EXPECT_EQ(client->readLine(), "240 Article received <qx$msg$mp3.1.2@host>\r\n");
    ASSERT_EQ(store().postedArticles().size(), 1u);
    EXPECT_EQ(store().postedArticles()[0], posted);
    EXPECT_EQ(code(client->command("ARTICLE <qx$msg$mp3.1.2@host>")), "220");
    EXPECT_EQ(unstuffed(client->readBlockBytes()), posted);
    EXPECT_EQ(client->command("GROUP alt.test"), "211 1 1 1 alt.test\r\n");

    EXPECT_EQ(code(client->command("POST")), "340");
    client->send("From: me@example.com\r\nNewsgroups: alt.test\r\nSubject: no id\r\n\r\nhi\r\n.\r\n");
    const std::string reply = client->readLine();
    ASSERT_EQ(code(reply), "240");
    const std::string id = reply.substr(reply.find('<'), reply.size() - 2 - reply.find('<'));
    EXPECT_EQ(*store().articleByMessageId(id),
              "From: me@example.com\r\nNewsgroups: alt.test\r\nSubject: no id\r\nMessage-ID: " + id + "\r\n\r\nhi\r\n");
}

struct RefusalCase {
    const char *name;
    std::string article;
};

class PostRefusal : public StoredGroups, public testing::WithParamInterface<RefusalCase> {};

TEST_P(PostRefusal, Gets441) {
    store().addArticle(article("alt.test", "first", "x\r\n", "Message-ID: <taken@example.com>\r\n"));
    ServerOptions options;
    options.maxPostBytes = 4096;
    start(options);
    EXPECT_EQ(code(client->command("POST")), "340");
    client->send(GetParam().article + ".\r\n");
    EXPECT_EQ(code(client->readLine()), "441");
    EXPECT_EQ(code(client->command("DATE")), "111");
    EXPECT_TRUE(store().postedArticles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    StoredGroups, PostRefusal,
    testing::Values(RefusalCase{"NoNewsgroups", "From: a@b\r\nSubject: s\r\n\r\nx\r\n"},
                    RefusalCase{"NoFrom", "Newsgroups: alt.test\r\nSubject: s\r\n\r\nx\r\n"},
                    RefusalCase{"NoSubject", "Newsgroups: alt.test\r\nFrom: a@b\r\n\r\nx\r\n"},
                    RefusalCase{"UnknownGroup", article("alt.unknown", "s", "x\r\n")},
                    RefusalCase{"ReadOnlyGroup", article("alt.readonly", "s", "x\r\n")},
                    RefusalCase{"NoEmptyLine", "Newsgroups: alt.test\r\nFrom: a@b\r\nSubject: s\r\n"},
                    RefusalCase{"MalformedHeader", "Newsgroups: alt.test\r\nno colon\r\n\r\nx\r\n"},
                    RefusalCase{"DuplicateId",
                                article("alt.test", "s", "x\r\n", "Message-ID: <taken@example.com>\r\n")},
                    RefusalCase{"TooLarge", article("alt.test", "s", std::string(5000, 'x') + "\r\n")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StoredGroups, PostingNotAllowed) {
    ServerOptions options;
    options.postingAllowed = false;
    start(options);
    EXPECT_EQ(code(client->greeting()), "201");
    EXPECT_EQ(code(client->command("POST")), "440");
}

struct NewGroupsCase {
    const char *arguments;
    std::vector<std::string> expected;  // group names, or the status code
};

class NewGroups : public StoredGroups, public testing::WithParamInterface<NewGroupsCase> {};

TEST_P(NewGroups, FiltersByCreationTime) {
    start();
    const std::string status = client->command(std::string("NEWGROUPS ") + GetParam().arguments);
    std::vector<std::string> names;
    if (code(status) == "231") {
        for (const std::string &line : client->readBlock()) names.push_back(line.substr(0, line.find(' ')));
    } else {
        names.push_back(code(status));
    }
    EXPECT_EQ(names, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    StoredGroups, NewGroups,
    testing::Values(NewGroupsCase{"000101 000000 GMT", Numbers{"alt.numbered", "alt.test"}},
                    NewGroupsCase{"20000101 120000 gmt", Numbers{"alt.numbered", "alt.test"}},
                    NewGroupsCase{"20000101 120001 GMT", Numbers{"alt.numbered"}},
                    NewGroupsCase{"991231 235959 GMT", Numbers{"alt.numbered", "alt.readonly", "alt.test"}},
                    NewGroupsCase{"20300101 000000 GMT", Numbers{}}, NewGroupsCase{"2000011 120000", Numbers{"501"}},
                    NewGroupsCase{"000132 000000", Numbers{"501"}}, NewGroupsCase{"010229 000000", Numbers{"501"}},
                    NewGroupsCase{"000101 240000", Numbers{"501"}}, NewGroupsCase{"000101 000000 UTC", Numbers{"501"}},
                    NewGroupsCase{"0a0101 000000", Numbers{"501"}}, NewGroupsCase{"000101", Numbers{"501"}}));

TEST_F(StoredGroups, ListActiveWildmatsAndDescriptions) {
    start();
    EXPECT_EQ(code(client->command("LIST")), "215");
    EXPECT_EQ(client->readBlock(),
              (Numbers{"alt.numbered 0000001004 0000001000 y", "alt.readonly 0000000000 0000000001 n",
                       "alt.test 0000000000 0000000001 y"}));
    EXPECT_EQ(code(client->command("LIST ACTIVE alt.*,!alt.test")), "215");
    EXPECT_EQ(firstFields(client->readBlock()),
              (Numbers{"alt.numbered 0000001004 0000001000 y", "alt.readonly 0000000000 0000000001 n"}));
    EXPECT_EQ(code(client->command("list newsgroups *.num?ered")), "215");
    EXPECT_EQ(client->readBlock(), (Numbers{"alt.numbered\tNumbered from 1000"}));
    EXPECT_EQ(code(client->command("LIST ACTIVE.TIMES alt.readonly")), "215");
    EXPECT_EQ(client->readBlock(), (Numbers{"alt.readonly 946684799 newsd"}));
}

}  // namespace
}  // namespace harbeat::newsd::test
