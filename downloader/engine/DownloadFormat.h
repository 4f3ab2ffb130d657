#pragma once

#include <QString>

namespace harbel {

// "1023 Bytes", "1.00 KB" (from 1024), "1.00 MB" (above 1048576), "1,234.50 MB".
QString FormatBytes(double x);
// A transfer rate: FormatBytes of the bytes a second, then " /Second" ("1.95 KB /Second").
QString FormatRate(double bytesPerSecond);
// "HH:MM:SS"; negative input gives "00:00:00", a day or more keeps counting hours ("25:00:00").
QString FormatDuration(double s);
// True when the length of the file can be read.
bool IsFilePresent(const QString& path);

}  // namespace harbel
