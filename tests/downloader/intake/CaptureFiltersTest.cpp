#include "downloader/intake/CaptureFilters.h"

#include <QList>

#include <gtest/gtest.h>

using namespace harbel;

namespace {

// A download of the queue in that state.
QueueEntry row(QueueEntry::State state, const QString& url)
{
    QueueEntry e = QueueEntry::startingNow(url, "/d/x.zip");
    e.state = state;
    return e;
}

const QString kTypes = QString::fromLatin1(kDefaultMonitorTypes);
// An ignore list as users keep them: update and shop sites.
const QString kIgnored = "windowsupdate.microsoft.com ; download.windowsupdate.com ; update.microsoft.com ; *.amazon.com ; *ebay.com";

}  // namespace

TEST(CaptureFilters, WantedTypes)
{
    EXPECT_TRUE(IsExtPermitted("http://host/a.zip", kTypes));
    EXPECT_TRUE(IsExtPermitted("http://host/a.ZIP", kTypes));
    EXPECT_FALSE(IsExtPermitted("http://host/a.zipx", kTypes));
    EXPECT_TRUE(IsExtPermitted("http://host/a.r15", kTypes));   // ".R1?"
    EXPECT_TRUE(IsExtPermitted("http://host/a.rar", kTypes));
    // What is downloaded today is wanted from the start, and nothing is ignored.
    for (const char* name : {"debian-12.iso", "disk.img", "a.7z", "a.tar.xz", "a.tar.zst", "a.tar.bz2", "p.deb", "p.rpm",
                             "Tool-x86_64.AppImage", "app.apk", "mac.dmg", "win.msi", "v.mp4", "v.mkv", "v.webm",
                             "v.mov", "s.flac", "s.ogg", "s.opus", "s.m4a", "b.epub", "d.pdf", "old.FML"}) {
        EXPECT_TRUE(IsExtPermitted(QStringLiteral("https://host/") + name, kTypes)) << name;
        EXPECT_TRUE(IsServerPermitted(QStringLiteral("https://www.amazon.com/") + name, kDefaultMonitorServer)) << name;
    }
    EXPECT_FALSE(IsExtPermitted("http://host/a.r2", kTypes));
    EXPECT_TRUE(IsExtPermitted("ftp://host/dir/x.r0abc", kTypes));
    // A type the address cannot tell passes; the name the server gives is checked instead.
    EXPECT_TRUE(IsExtPermitted("http://host/noextension", kTypes));
    EXPECT_TRUE(IsExtPermitted("http://host/get.php?id=3", kTypes));
    EXPECT_FALSE(IsExtPermitted("ftp://host/noextension", kTypes));
    // A line break typed into an entry stays part of it.
    EXPECT_TRUE(IsExtPermitted("http://host/a.c01", ".C0?"));
    EXPECT_FALSE(IsExtPermitted("http://host/a.c01", "\r\n.C0?"));
    EXPECT_FALSE(IsExtPermitted("http://host/a.zip", ".EXE;;"));
    EXPECT_TRUE(wantedTypesTextIsValid(kTypes));
    for (const char* bad : {"/", "\\", ":", "*", "\"", "<", ">", "|"})
        EXPECT_FALSE(wantedTypesTextIsValid(QStringLiteral(".ZIP; ") + QLatin1String(bad))) << bad;
}

TEST(CaptureFilters, IgnoreList)
{
    const QString& list = kIgnored;
    EXPECT_FALSE(IsServerPermitted("http://windowsupdate.microsoft.com/x.exe", list));
    EXPECT_FALSE(IsServerPermitted("http://WindowsUpdate.Microsoft.com/x.exe", list));
    EXPECT_FALSE(IsServerPermitted("http://www.amazon.com/x.zip", list));
    EXPECT_FALSE(IsServerPermitted("http://pages.ebay.com/x.zip", list));
    EXPECT_TRUE(IsServerPermitted("http://example.org/x.zip", list));
    // A star-free entry must equal the whole server; the port is part of the server text.
    EXPECT_TRUE(IsServerPermitted("http://my.windowsupdate.microsoft.com/x", list));
    EXPECT_TRUE(IsServerPermitted("http://host:8080/x.zip", "host"));
    EXPECT_FALSE(IsServerPermitted("http://host:8080/x.zip", "*host"));
    EXPECT_TRUE(IsServerPermitted("http://abhost/x.zip", "a*host"));  // a middle star never matches
    EXPECT_TRUE(IsServerPermitted("http://host/x.zip", " ; ; "));
}

TEST(CaptureFilters, ConnectionLimits)
{
    DownloadSettings s;
    const QList<QueueEntry> none;
    using State = QueueEntry::State;
    const QueueEntry running = row(State::Running, "http://host/a.zip"), queued = row(State::Waiting, "http://host/b.zip"),
                     done = row(State::Complete, "http://host/c.zip"), blocked = row(State::Blocked, "http://host/d.zip"),
                     other = row(State::Running, "http://HOST/e.zip"), ftp = row(State::Running, "ftp://host/f.zip");
    EXPECT_TRUE(IsLimitOk("http://host/new.zip", none, s));
    // Three running with the limit 3 still lets a fourth start; four do not. Only running and
    // paused downloads count, not blocked ones.
    QList<QueueEntry> rows{running, running, running, queued, done, other, blocked};
    EXPECT_TRUE(IsLimitOk("http://host/new.zip", rows, s));
    rows.append(row(State::Paused, "http://host/j.zip"));
    EXPECT_FALSE(IsLimitOk("http://host/new.zip", rows, s));
    // The count is by server text alone, whatever the protocol of the running rows.
    EXPECT_FALSE(IsLimitOk("ftp://host/new.zip", rows, s));
    EXPECT_TRUE(IsLimitOk("ftp://otherhost/new.zip", rows, s));
    s.LimitHTTP = "0";
    EXPECT_TRUE(IsLimitOk("http://host/new.zip", QList<QueueEntry>{queued}, s));
    EXPECT_FALSE(IsLimitOk("http://host/new.zip", QList<QueueEntry>{running}, s));
    // Secure addresses count with their protocol: https:// with HTTP, ftps:// with FTP.
    s.LimitHTTP = "0";
    s.LimitFTP = "3";
    const QueueEntry secure = row(State::Running, "https://host/s.zip");
    EXPECT_FALSE(IsLimitOk("https://host/new.zip", QList<QueueEntry>{secure}, s));
    EXPECT_TRUE(IsLimitOk("ftps://host/new.zip", QList<QueueEntry>{secure}, s));
    EXPECT_FALSE(IsServerPermitted("https://www.amazon.com/x.zip", kIgnored));
    EXPECT_TRUE(IsExtPermitted("ftps://host/dir/x.zip", kTypes));
    s.LimitFTP = "unlimited";
    EXPECT_TRUE(IsLimitOk("ftp://host/new.zip", QList<QueueEntry>{ftp, ftp, ftp, ftp, ftp}, s));
}
