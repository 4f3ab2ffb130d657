#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "ftpclient/component/FileClash.h"

#include <QRect>

namespace harbel::tessaly {

// The question asked when a transfer would write over a file, on the server (an upload) or in the
// local folder (a download): overwrite it, resume it, skip it or cancel the transfer, for this file
// or, with "Apply To All", for every later clash of the same command. It names the file and shows
// both sizes and times. Closing the window without an answer is Cancel: nothing is touched.
class frmExist final : public Form {
    Q_OBJECT
public:
    enum Answer { Overwrite = 0, Resume = -1, Cancel = -2, Skip = -3 };

    explicit frmExist(QObject* parent = nullptr);

    // Fills the texts for one clash.
    void describe(const FileClash& clash);

    Label lblWarning{*this, QStringLiteral("lblWarning")};
    Label lblDestination{*this, QStringLiteral("lblDestination")};
    Label lblSource{*this, QStringLiteral("lblSource")};
    CheckBox chkAll{*this, QStringLiteral("chkAll")};
    Button cmdOverwrite{*this, QStringLiteral("cmdOverwrite")};
    Button cmdResume{*this, QStringLiteral("cmdResume")};
    Button cmdSkip{*this, QStringLiteral("cmdSkip")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

    // The answer; Cancel until a button is pressed.
    int eResumeFile = Cancel;

    void cmdOverwrite_Click() { answer(Overwrite); }
    void cmdResume_Click() { answer(Resume); }
    void cmdSkip_Click() { answer(Skip); }
    void cmdCancel_Click() { answer(Cancel); }
    // The window closes: its place on the screen is kept in the settings.
    void Form_Unload(const QRect& geometry);

private:
    void answer(int value);
};

}  // namespace harbel::tessaly
