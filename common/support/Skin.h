#pragma once

#include <QHash>
#include <QString>

namespace harbel {

class Control;
class Form;

// The skin: a Qt style sheet file made of named sections. A section starts at a comment line
//   /* @style Button */
// and runs to the next such line; the text before the first one applies to every style. Applying a
// style name to a form or control records the name on it; its view sets the matching sheet.
class Skin final {
public:
    bool LoadSkin(const QString& file);
    void loadFromText(const QString& text);
    bool isLoaded() const { return loaded_; }

    bool hasStyle(const QString& name) const;
    // The common part followed by the named section; empty when the style is unknown.
    QString styleSheet(const QString& name) const;

    // False (an error) when no skin is loaded or the skin has no such style.
    bool ApplySkinByName(Control& control, const QString& style) const;
    bool ApplySkinByName(Form& form, const QString& style) const;

    // The program's skin, loaded at start-up.
    static Skin& shared();

private:
    bool loaded_ = false;
    QString common_;
    QHash<QString, QString> sections_;  // keyed by the lower-cased style name
};

// The style name a control of this kind gets, or empty when it is left alone.
enum class SkinVariant { Downloader, DownloaderMain, FtpClient };
QString skinStyleFor(const Control& control, SkinVariant variant);

// Styles every control of the form in its control order, ignoring every error.
void SkinFormControls(Form& form, const Skin& skin);
// The FTP client's variant: a frame with border style 1 gets "Frame", any other "NoFrame".
void SkinFormControlsFtp(Form& form, const Skin& skin);
// The download manager main window's own styling: no status-bar row; stops at the first error.
bool SkinForm(Form& form, const Skin& skin);

// Calls the refresh operation of every control that has one.
void RefreshControls(Form& form);

}  // namespace harbel
