#pragma once

#include <QString>
#include <QStringList>

namespace harbel::BrowserCapture {

// The native-messaging host name the browser extension asks for.
inline constexpr char kHostName[] = "com.harbel.pellanor";
// The extension's identity in each browser family: Firefox names it in its manifest, Chromium
// derives it from the public key in its manifest.
inline constexpr char kMozillaExtensionId[] = "pellanor@harbel";
inline constexpr char kChromiumExtensionId[] = "jeilannjlgmogloalljkccempkjckblk";

// Browsers start a host by a program path alone, without options and without our environment,
// so the manifests name a small script in the application folder that runs this program with
// --native-messaging and with the application folder and settings store this copy uses.
QString hostScriptPath();
// Writes the script for the given program; false when it could not be written.
bool writeHostScript(const QString& program);

// Where each family looks for host manifests under the user's home.
QStringList chromiumManifestFolders();
QString mozillaManifestFolder();

enum class Outcome {
    Done,            // every manifest written or removed
    NoBrowser,       // no browser of the family is set up for this user
    WriteFailed,     // a manifest could not be written (failedPath says which)
    RemoveFailed,    // a manifest could not be removed
};
struct Result {
    Outcome outcome = Outcome::Done;
    QString failedPath;
};

// Installs (on) or removes (off) the host manifest of every Chromium-family browser set up.
Result switchChromium(bool on);
// The same for the Mozilla family.
Result switchMozilla(bool on);

// The manifest text of one family.
QByteArray manifestFor(bool mozilla);

}  // namespace harbel::BrowserCapture
