#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace harbel::test {

// Every test runs with its own application folder, registry store and configuration folders,
// made fresh before it starts and removed after it ends; the user's real folders are never touched.
void installPerTestFolders();

// The current test's temporary folder (holds home/, registry.reg, config/, data/).
QString testFolder();

// A test's time limit in milliseconds, grown by HARBEL_TEST_TIME_FACTOR (a whole number, 1 when
// unset) for builds that run slower, such as the sanitizer build.
int timeLimit(int ms);

// Runs the event loop until the condition holds or timeLimit(timeoutMs) is up; true when it holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs the event loop for ms milliseconds, not grown by the factor: time given to the code under
// test, measured against its own timers.
void runFor(int ms);

QByteArray readFile(const QString& path);
// Bytes of every value, for content that must arrive unchanged.
QByteArray randomBytes(qint64 size);
void writeFile(const QString& path, const QByteArray& bytes);

// What another user could read: each path given, and everything below a folder, that is not a
// 0700 folder or a 0600 file, as "path mode" lines (links are listed as they are).
QStringList notPrivate(const QStringList& paths);

}  // namespace harbel::test
