#include "common/prompts/Prompts.h"

#include "common/controls/Form.h"

namespace harbel {

namespace {
Prompts* g_prompts = nullptr;
}

Prompts& Prompts::instance()
{
    static SilentPrompts silent;
    return g_prompts ? *g_prompts : silent;
}

void Prompts::setInstance(Prompts* prompts)
{
    g_prompts = prompts;
}

MsgAnswer cancelAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OkOnly: return MsgAnswer::Ok;
    case MsgButtons::OkCancel: return MsgAnswer::Cancel;
    case MsgButtons::AbortRetryIgnore: return MsgAnswer::Abort;
    case MsgButtons::YesNoCancel: return MsgAnswer::Cancel;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::RetryCancel: return MsgAnswer::Cancel;
    }
    return MsgAnswer::Cancel;
}

MsgAnswer SilentPrompts::MsgBox(const QString&, MsgButtons buttons, MsgIcon, const QString&)
{
    return cancelAnswer(buttons);
}

void SilentPrompts::ShowModal(Form& form)
{
    form.Hide();
}

}  // namespace harbel
