#include "ftpclient/component/ops/CommandOperation.h"
#include "common/ftp/FtpReply.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::tessaly::parsePwdReply;

TEST(FtpReplyParser, SingleLineArrivingInPiecesIsReportedOnceComplete)
{
    FtpReplyParser p;
    EXPECT_TRUE(p.feed("100").isEmpty());
    EXPECT_TRUE(p.feed(" single line response").isEmpty());
    EXPECT_TRUE(p.feed("\r").isEmpty());
    EXPECT_TRUE(p.hasPartial());
    const auto replies = p.feed("\n");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].code, 100);
    EXPECT_EQ(replies[0].text(), "single line response");
    EXPECT_FALSE(p.hasPartial());
}

TEST(FtpReplyParser, MultiLineReplyEndsOnlyAtItsOwnCodeFollowedByBlank)
{
    FtpReplyParser p;
    EXPECT_TRUE(p.feed("211-Features:\r\n MLST type*;size*;\r\n").isEmpty());
    // Another code, or the same code with a dash, or a line starting with digits, does not end it.
    EXPECT_TRUE(p.feed("200 not the end\r\n211-still going\r\n2115 nope\r\n").isEmpty());
    const auto replies = p.feed("211 End\r\n220 next");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].code, 211);
    EXPECT_EQ(replies[0].lines.size(), 6);
    EXPECT_EQ(replies[0].text(), "End");
    const auto next = p.feed("\r\n");
    ASSERT_EQ(next.size(), 1);
    EXPECT_EQ(next[0].code, 220);
}

TEST(FtpReplyParser, SeveralRepliesInOneReadAndBareLineFeeds)
{
    FtpReplyParser p;
    const auto replies = p.feed("150 Opening\n226 Done\r\n");
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0].code, 150);
    EXPECT_TRUE(replies[0].isPreliminary());
    EXPECT_TRUE(replies[1].isCompletion());
}

TEST(FtpReplyParser, GarbageAndEndlessLinesAreProtocolErrors)
{
    FtpReplyParser p;
    auto replies = p.feed("hello there\r\n");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].code, 0);
    replies = p.feed(QByteArray(FtpReplyParser::kMaxLineLength + 10, 'x'));
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].code, 0);
    EXPECT_FALSE(p.hasPartial());

    // A multi-line reply that never ends.
    QByteArray flood = "211-start\r\n";
    for (int i = 0; i <= FtpReplyParser::kMaxLines; ++i)
        flood += " more\r\n";
    replies = p.feed(flood);
    ASSERT_FALSE(replies.isEmpty());
    for (const FtpReply& r : replies)
        EXPECT_EQ(r.code, 0);

    // Few but long lines: refused once they add up, long before the line count would end them.
    p.reset();
    EXPECT_TRUE(p.feed("211-start\r\n").isEmpty());
    const QByteArray longLine = " " + QByteArray(FtpReplyParser::kMaxLineLength - 100, 'y') + "\r\n";
    bool refused = false;
    for (qsizetype sent = 0; sent <= FtpReplyParser::kMaxReplyBytes + longLine.size() && !refused; sent += longLine.size()) {
        for (const FtpReply& r : p.feed(longLine)) {
            EXPECT_EQ(r.code, 0);
            refused = true;
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(p.hasPartial());
}

TEST(FtpReplyHelpers, PassiveRepliesGiveThePortAndNameTheHostOnlyForLogging)
{
    QString host;
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 Entering Passive Mode (10,1,2,3,195,80)."}}, &host), 195 * 256 + 80);
    EXPECT_EQ(host, "10.1.2.3");
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 =127,0,0,1,4,1"}}), 1025);
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 Entering Passive Mode 127, 0, 0, 1, 4, 2."}}), 1026);
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 Entering Passive Mode (127,0,0,1,0,0)"}}), 0);
    EXPECT_EQ(parsePassivePort(FtpReply{229, {"229 Entering Extended Passive Mode (|||6446|)"}}), 6446);
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 Entering Passive Mode (1,2,3,4,999,1)"}}), 0);
    EXPECT_EQ(parsePassivePort(FtpReply{227, {"227 nonsense"}}), 0);
    EXPECT_EQ(parsePassivePort(FtpReply{229, {"229 (|||99999|)"}}), 0);
}

TEST(FtpReplyHelpers, StartReplyNamesTheSizeOrNothing)
{
    EXPECT_EQ(parseStartReplySize(FtpReply{150, {"150 Opening BINARY mode data connection for a b.bin (123456 bytes)."}}), 123456);
    EXPECT_EQ(parseStartReplySize(FtpReply{150, {"150 Opening data connection (0 Bytes)"}}), 0);
    EXPECT_EQ(parseStartReplySize(FtpReply{150, {"150 File status okay. About to open data connection."}}), -1);
    EXPECT_EQ(parseStartReplySize(FtpReply{150, {"150 Here (many bytes)"}}), -1);
    EXPECT_EQ(parseStartReplySize(FtpReply{150, {"150 Huge (99999999999999999999 bytes)"}}), -1);
}

TEST(FtpReplyHelpers, PwdReplyUndoublesQuotes)
{
    EXPECT_EQ(parsePwdReply(FtpReply{257, {"257 \"/a \"\"b\"\" c\" is current"}}), QString("/a \"b\" c"));
    EXPECT_EQ(parsePwdReply(FtpReply{257, {"257 \"/\""}}), QString("/"));
    EXPECT_FALSE(parsePwdReply(FtpReply{257, {"257 no quotes"}}).has_value());
    EXPECT_FALSE(parsePwdReply(FtpReply{550, {"550 \"/\""}}).has_value());
}
