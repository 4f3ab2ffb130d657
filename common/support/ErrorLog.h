#pragma once

#include <QString>

namespace harbel {

// Appends one record to "errorlog.txt" in the application folder: a line holding a single double
// quote, then "Date: <date>","Time: <time>","<message>" with the date and time in the system's
// short formats. Never fails towards the caller.
void WriteErrorLog(const QString& message);

}  // namespace harbel
