#pragma once

#include <QString>

namespace harbel {

// What the URL test of the settings dialog found: whether the server is on the ignore list and
// whether the file type is on the wanted list, by the dialog's own matching rules.
struct UrlTestResult {
    bool serverListed = false;
    bool typeListed = false;
};
UrlTestResult testUrlAgainstLists(const QString& url, const QString& ignoreList, const QString& wantedTypes);

}  // namespace harbel
