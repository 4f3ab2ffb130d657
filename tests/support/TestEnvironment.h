#pragma once

#include <QString>

#include <functional>

namespace harbel::test {

// Every test runs with its own application folder, registry store and configuration folders,
// made fresh before it starts and removed after it ends; the user's real folders are never touched.
void installPerTestFolders();

// The current test's temporary folder (holds home/, registry.reg, config/, data/).
QString testFolder();

// Runs the event loop until the condition holds or the time is up; true when it holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

QByteArray readFile(const QString& path);
// Bytes of every value, for content that must arrive unchanged.
QByteArray randomBytes(qint64 size);
void writeFile(const QString& path, const QByteArray& bytes);

}  // namespace harbel::test
