#include "ftpclient/component/Listing.h"

#include <gtest/gtest.h>

using namespace harbel::tessaly;
using namespace harbel::tessaly::listing;

TEST(FtpListing, MlsdFactsGiveKindSizeAndUtcDate)
{
    auto f = parseMlsdLine("type=file;size=5368709120;modify=20240102030405;perm=r; big file.bin");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Name, "big file.bin");
    EXPECT_EQ(f->Size, 5368709120LL);
    EXPECT_EQ(f->Kind, FolderItem::File);
    EXPECT_EQ(f->Date, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC));

    auto d = parseMlsdLine("Type=dir;Modify=20240102030405.123; sub");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Kind, FolderItem::Folder);
    auto l = parseMlsdLine("type=OS.unix=slink:/etc/passwd;size=11; link");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Kind, FolderItem::Link);
    EXPECT_EQ(l->LinkTarget, "/etc/passwd");

    EXPECT_FALSE(parseMlsdLine("type=cdir; /home"));
    EXPECT_FALSE(parseMlsdLine("type=pdir; .."));
    EXPECT_FALSE(parseMlsdLine("size=3;"));
    EXPECT_FALSE(parseMlsdLine("type=file;size=3; "));
    EXPECT_FALSE(parseMlsdLine("garbage"));
}

TEST(FtpListing, UnixLinesWithAndWithoutGroupYearOrTime)
{
    const QDateTime now(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    auto f = parseListLine("-rw-r--r--    1 tess     staff      1048576 Feb 28 09:15 my file.txt", now);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Name, "my file.txt");
    EXPECT_EQ(f->Size, 1048576);
    EXPECT_EQ(f->Kind, FolderItem::File);
    EXPECT_EQ(f->Date, QDateTime(QDate(2024, 2, 28), QTime(9, 15), Qt::UTC));

    // A time-stamped date that would lie in the future belongs to the year before.
    auto d = parseListLine("drwxr-xr-x 2 tess 4096 Dec 24 18:00 presents", now);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Kind, FolderItem::Folder);
    EXPECT_EQ(d->Date.date(), QDate(2023, 12, 24));

    auto l = parseListLine("lrwxrwxrwx 1 root root 11 Jan  5  2019 latest -> releases/v2", now);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Kind, FolderItem::Link);
    EXPECT_EQ(l->Name, "latest");
    EXPECT_EQ(l->LinkTarget, "releases/v2");
    EXPECT_EQ(l->Date.date(), QDate(2019, 1, 5));

    auto big = parseListLine("-rw-r--r-- 1 a b 6442450944 Jan 1 2020 huge.iso", now);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->Size, 6442450944LL);

    EXPECT_FALSE(parseListLine("total 24", now));
    EXPECT_FALSE(parseListLine("", now));
    EXPECT_FALSE(parseListLine("what is this", now));
    EXPECT_FALSE(parseListLine("drwxr-xr-x   2 root     root         4096 Dec 08 11:00 ", now));
    EXPECT_FALSE(parseListLine("lrwxrwxrwx   1 root     root            8 Dec 08 11:01  -> data.bin", now));
}

TEST(FtpListing, DosAndIisLines)
{
    auto d = parseListLine("01-02-24  10:05PM       <DIR>          Program Files");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Kind, FolderItem::Folder);
    EXPECT_EQ(d->Name, "Program Files");
    EXPECT_EQ(d->Date, QDateTime(QDate(2024, 1, 2), QTime(22, 5), Qt::UTC));

    auto f = parseListLine("12-31-99  12:00AM             12345 readme.txt\r");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Kind, FolderItem::File);
    EXPECT_EQ(f->Size, 12345);
    EXPECT_EQ(f->Date, QDateTime(QDate(1999, 12, 31), QTime(0, 0), Qt::UTC));

    auto iso = parseListLine("06-15-2023  14:30                 7 x.bin");
    ASSERT_TRUE(iso);
    EXPECT_EQ(iso->Date, QDateTime(QDate(2023, 6, 15), QTime(14, 30), Qt::UTC));
}

TEST(FtpListing, NamesThatWouldLeaveTheirFolderAreRefused)
{
    for (const QString& bad : {QString(), QString("."), QString(".."), QString("../x"), QString("a/b"),
                               QString("a\\b"), QString("x") + QChar(0) + "y", QString("line\nbreak"),
                               QString("tab\there"), QString("del\x7f"), QString(256, 'n'), QString(128, QChar(0xe9))}) {
        EXPECT_FALSE(unsafeNameReason(bad).isEmpty()) << bad.toStdString();
    }
    for (const QString& good : {QString("file.txt"), QString("..hidden"), QString("a..b"), QString("ünïcødé"),
                                QString(" spaced "), QString(255, 'n'), QString(127, QChar(0xe9))}) {
        EXPECT_TRUE(unsafeNameReason(good).isEmpty()) << good.toStdString();
    }
}

TEST(FtpListing, MasksMatchLikeWildcards)
{
    EXPECT_TRUE(matchesMask("photo.GIF", "*.gif"));
    EXPECT_TRUE(matchesMask("anything", ""));
    EXPECT_TRUE(matchesMask("noext", "*.*"));
    EXPECT_TRUE(matchesMask("a1.txt", "a?.txt"));
    EXPECT_FALSE(matchesMask("a12.txt", "a?.txt"));
    EXPECT_TRUE(matchesMask("report-2024-final.doc", "report*final*"));
    EXPECT_FALSE(matchesMask("photo.gif.bak", "*.gif"));
}
