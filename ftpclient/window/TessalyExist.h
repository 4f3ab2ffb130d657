#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

#include <QRect>

namespace harbel::tessaly {

// The question asked when an uploaded file clashes with one on the server: overwrite it, resume
// it, skip it or cancel the upload, for this file or, with "Apply To All", for every later clash of
// the same upload. Closing the window without an answer is Cancel: nothing on the server is touched.
class frmExist final : public Form {
    Q_OBJECT
public:
    enum Answer { Overwrite = 0, Resume = -1, Cancel = -2, Skip = -3 };

    explicit frmExist(QObject* parent = nullptr);

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
