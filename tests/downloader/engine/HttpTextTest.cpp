#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/HttpText.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;

TEST(DownloadFormat, ByteCountsAndDurations)
{
    EXPECT_EQ(FormatBytes(1023), "1023 Bytes");
    EXPECT_EQ(FormatBytes(1024), "1.00 KB");
    EXPECT_EQ(FormatBytes(1048576), "1024.00 KB");
    EXPECT_EQ(FormatBytes(1048577), "1.00 MB");
    EXPECT_EQ(FormatBytes(1234.5 * 1048576), "1,234.50 MB");
    // Sizes over 4 GiB are shown whole.
    EXPECT_EQ(FormatBytes(5.0 * 1024 * 1048576), "5,120.00 MB");

    EXPECT_EQ(FormatDuration(59), "00:00:59");
    EXPECT_EQ(FormatDuration(60), "00:01:00");
    EXPECT_EQ(FormatDuration(3661), "01:01:01");
    EXPECT_EQ(FormatDuration(7.9), "00:00:07");
    EXPECT_EQ(FormatDuration(-5), "00:00:00");
    EXPECT_EQ(FormatDuration(25 * 3600), "25:00:00");

    // Rates in one style wherever they are shown.
    const std::pair<double, const char*> rates[] = {{0, "0 B/s"}, {1023.7, "1023 B/s"}, {1024, "1.00 KB/s"},
                                                    {2044723, "1.95 MB/s"}, {1234.5 * 1048576, "1,234.50 MB/s"}};
    for (const auto& [rate, text] : rates)
        EXPECT_EQ(FormatRate(rate), text) << rate;
}

TEST(HttpText, StatusCodesHeadersAndMessages)
{
    EXPECT_EQ(GetStatusCode("HTTP/1.1 206 Partial Content"), 206);
    EXPECT_EQ(GetStatusCode("404"), 404);
    EXPECT_EQ(GetStatusCode("HTTP/1.1 abc"), 0);
    EXPECT_EQ(GetStatusCode("<html> hello"), 0);

    const QString head = "HTTP/1.1 200 OK\r\nContent-Length: 1234\r\nLocation: http://x/y";
    EXPECT_EQ(GetHeaderValue(head, "Content-Length:"), " 1234");
    EXPECT_EQ(GetHeaderValue(head, "Location:"), " http://x/y");
    EXPECT_EQ(GetHeaderValue(head, "content-length:"), "");
    EXPECT_EQ(GetHeaderValue("", "Content-Length:"), "");
    EXPECT_EQ(headerField("HTTP/1.1 200 OK\r\ncontent-length: 77\r\n", "Content-Length"), QByteArray("77"));

    EXPECT_EQ(GetError(404), "HTTP 404-Object Not Found");
    EXPECT_EQ(GetError(403), "HTTP 403.x - Forbidden: Access Denied");
    EXPECT_EQ(GetError(200), "SUCCESS");
    EXPECT_EQ(GetError(204), "SUCCESS");

    const auto r = parseContentRange("bytes 2147483648-3221225471/3221225472");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 2147483648LL);
    EXPECT_EQ(r->total, 3221225472LL);
    EXPECT_FALSE(parseContentRange("bytes 10-5/100"));
    EXPECT_FALSE(parseContentRange("items 0-5/100"));
    EXPECT_EQ(parseContentRange("bytes 0-5/*")->total, -1);
}

TEST(HttpText, EmbeddedLinksAndBase64)
{
    const QString page = "<p><img src='x.gif'> <embed src='http://mirror/files/Setup.EXE'></p>";
    EXPECT_EQ(FindEmbeddedLink(page, "setup.exe"), QString("http://mirror/files/Setup.EXE"));
    EXPECT_FALSE(FindEmbeddedLink(page, "other.zip"));
    EXPECT_FALSE(FindEmbeddedLink("no link setup.exe", "setup.exe"));

    initBase64();
    EXPECT_EQ(Encode2Base64(""), "");
    EXPECT_EQ(Encode2Base64(":"), "Og==");
    EXPECT_EQ(Encode2Base64("a:"), "YTo=");
    EXPECT_EQ(Encode2Base64("u:p"), "dTpw");
    EXPECT_EQ(Encode2Base64("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}
