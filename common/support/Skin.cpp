#include "common/support/Skin.h"

#include "common/controls/Control.h"
#include "common/controls/Form.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace harbel {

namespace {
constexpr qint64 kLargestSkin = 1024 * 1024;
}  // namespace

bool Skin::LoadSkin(const QString& file)
{
    QFile f(file);
    // A pipe would block the start-up and a huge file would make a huge style sheet: a skin is a
    // few kilobytes.
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kLargestSkin || !f.open(QIODevice::ReadOnly)) {
        loaded_ = false;
        common_.clear();
        sections_.clear();
        return false;
    }
    loadFromText(QString::fromUtf8(f.readAll()));
    return true;
}

void Skin::loadFromText(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral(R"(^\s*/\*\s*@style\s+([^\s*]+)\s*\*/\s*$)"));
    common_.clear();
    sections_.clear();
    QString* current = &common_;
    const QStringList lines = text.split(u'\n');
    for (const QString& line : lines) {
        const auto m = marker.match(line);
        if (m.hasMatch()) {
            current = &sections_[m.captured(1).toLower()];
            continue;
        }
        *current += line;
        *current += u'\n';
    }
    loaded_ = true;
}

bool Skin::hasStyle(const QString& name) const
{
    return loaded_ && sections_.contains(name.toLower());
}

QString Skin::styleSheet(const QString& name) const
{
    if (!hasStyle(name))
        return QString();
    return common_ + sections_.value(name.toLower());
}

bool Skin::ApplySkinByName(Control& control, const QString& style) const
{
    if (!hasStyle(style))
        return false;
    control.setStyleName(style);
    return true;
}

bool Skin::ApplySkinByName(Form& form, const QString& style) const
{
    if (!hasStyle(style))
        return false;
    form.setStyleName(style);
    return true;
}

Skin& Skin::shared()
{
    static Skin skin;
    return skin;
}

QString skinStyleFor(const Control& control, SkinVariant variant)
{
    switch (control.kind()) {
    case ControlKind::Button: return QStringLiteral("Button");
    case ControlKind::SkinLabel: return QStringLiteral("Label");
    case ControlKind::Frame:
        if (variant == SkinVariant::FtpClient) {
            const auto& frame = static_cast<const Frame&>(control);
            return frame.BorderStyle() == 1 ? QStringLiteral("Frame") : QStringLiteral("NoFrame");
        }
        return QStringLiteral("Frame");
    case ControlKind::CheckBox: return QStringLiteral("checkBox");
    case ControlKind::OptionButton: return QStringLiteral("radioBox");
    case ControlKind::StatusBar:
        return variant == SkinVariant::DownloaderMain ? QString() : QStringLiteral("StatusBar");
    case ControlKind::TabStrip: return QStringLiteral("Tab");
    default: return QString();
    }
}

namespace {
void styleAll(Form& form, const Skin& skin, SkinVariant variant)
{
    for (Control* c : form.controls()) {
        if (!c->hasHandle())
            continue;
        const QString style = skinStyleFor(*c, variant);
        if (!style.isEmpty())
            skin.ApplySkinByName(*c, style);  // errors are ignored control by control
    }
}
}  // namespace

void SkinFormControls(Form& form, const Skin& skin)
{
    styleAll(form, skin, SkinVariant::Downloader);
}

void SkinFormControlsFtp(Form& form, const Skin& skin)
{
    styleAll(form, skin, SkinVariant::FtpClient);
}

bool SkinForm(Form& form, const Skin& skin)
{
    for (Control* c : form.controls()) {
        const QString style = skinStyleFor(*c, SkinVariant::DownloaderMain);
        if (style.isEmpty())
            continue;
        if (!c->hasHandle() || !skin.ApplySkinByName(*c, style))
            return false;
    }
    return true;
}

void RefreshControls(Form& form)
{
    for (Control* c : form.controls())
        if (c->canRefresh())
            c->Refresh();
}

}  // namespace harbel
