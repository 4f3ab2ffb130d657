#pragma once

#include "downloader/engine/Progress.h"

#include <QString>

namespace harbel {

// "1023 Bytes", "1.00 KB" (from 1024), "1.00 MB" (above 1048576), "1,234.50 MB".
QString FormatBytes(double x);
// A transfer rate in binary units, as every display of a rate shows it: "512 B/s", "1.95 KB/s"
// (from 1024), "3.00 MB/s" (from 1048576), "1,234.50 MB/s".
QString FormatRate(double bytesPerSecond);
// "HH:MM:SS"; negative input gives "00:00:00", a day or more keeps counting hours ("25:00:00").
QString FormatDuration(double s);
// True when the length of the file can be read.
bool IsFilePresent(const QString& path);

// What a download is doing, in the words the download window's status and the lists' Status
// column share (from the language file).
enum class StatusWord { Connecting, Downloading, Paused, Stopped, Failed, Complete };
// The word; a failure is followed by its reason ("Failed: HTTP 404 - Not Found").
QString statusText(StatusWord word, const QString& reason = {});
// The status of a job's progress in those words; a job that has not started says what it said.
QString statusText(const Progress& progress);
// The job is connecting or transferring (not held, stopped or ended).
inline bool isUnderWay(const Progress& p)
{
    return p.state == Progress::State::Connecting || p.state == Progress::State::Transferring;
}

}  // namespace harbel
