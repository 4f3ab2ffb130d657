#pragma once

#include <QString>

namespace harbel::AppFolder {

// The one folder both programs keep their files in (Settings.ini, History.ini, Lang-I, log,
// Profiles...): $HARBEL_HOME when set, else "Harbel" in the user's data folder. It is created on
// first use and seeded with every shipped file that is missing there; an existing file is replaced
// only when it is a copy of an earlier shipped version (never one the user edited). The path has
// no trailing "/".
QString path();

// path() + "/" + relative.
QString file(const QString& relative);

// Copies the shipped files that are missing into the folder, and the present version over copies
// of earlier shipped versions (resources/shipped-versions.txt); true when all are in place.
bool seed(const QString& folder);

// The folder that holds the executables (each program starts the other from here).
QString executableFolder();

}  // namespace harbel::AppFolder
